pragma Singleton
import QtQuick 2.15

// Sizes, fonts and colours shared by the host's panels and widgets.
QtObject {
    readonly property real baseHeight: 10
    readonly property int spacing: 8
    readonly property font fontLabel: Qt.font({ "family": "DejaVu Sans", "pixelSize": 15, "bold": true })
    readonly property font fontText: Qt.font({ "family": "DejaVu Sans", "pixelSize": 14 })
    readonly property font fontTitle: Qt.font({ "family": "DejaVu Sans", "pixelSize": 18, "bold": true })
    readonly property color textColor: "#1f2933"
    readonly property color mutedColor: "#616e7c"
    readonly property color lineColor: "#cbd2d9"
    readonly property color panelColor: "#ffffff"
    readonly property color headerColor: "#e4e7eb"
    readonly property color connectedColor: "#2f9e44"
    readonly property color disconnectedColor: "#c92a2a"
}
