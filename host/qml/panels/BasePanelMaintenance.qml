import QtQuick 2.15
import "../widgets"

// Frame of a maintenance panel: a header with the maintained object's name
// and its connection state, then the panel's own content item.
//
// The panel's width is its content's width: the frame is drawn around it, in
// the margin (framePadding) that the host's view leaves on every side.
Item {
    id: panel

    property string name
    property bool connected: false
    property Item contentItem
    property real spacing: Style.spacing
    readonly property real framePadding: 2 * Style.spacing

    implicitWidth: 480
    implicitHeight: body.y + body.height

    onContentItemChanged: {
        if (contentItem) {
            contentItem.parent = body
        }
    }

    Rectangle {
        x: -panel.framePadding
        y: -panel.framePadding
        width: panel.width + 2 * panel.framePadding
        height: panel.height + 2 * panel.framePadding
        color: Style.panelColor
        border.color: Style.lineColor
        radius: 4
    }

    Item {
        id: header
        width: panel.width
        height: Style.baseHeight * 4

        Text {
            anchors.left: parent.left
            anchors.right: state.left
            anchors.rightMargin: panel.spacing
            anchors.verticalCenter: parent.verticalCenter
            text: panel.name
            font: Style.fontTitle
            color: Style.textColor
            elide: Text.ElideRight
        }

        Row {
            id: state
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: panel.spacing

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: Style.baseHeight
                height: width
                radius: width / 2
                color: panel.connected ? Style.connectedColor : Style.disconnectedColor
            }
            UiLabel {
                text: panel.connected ? qsTr("Connected") : qsTr("Not connected")
                color: Style.mutedColor
            }
        }

        Rectangle {
            anchors.bottom: parent.bottom
            x: -panel.framePadding
            width: panel.width + 2 * panel.framePadding
            height: 1
            color: Style.lineColor
        }
    }

    Item {
        id: body
        y: header.height + panel.spacing
        width: panel.width
        height: panel.contentItem ? panel.contentItem.height : 0
    }
}
