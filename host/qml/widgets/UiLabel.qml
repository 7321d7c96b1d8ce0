import QtQuick 2.15
import QtQuick.Controls 2.15

// A one-line text label in the host's text font.
Label {
    font.family: Style.fontText.family
    font.pixelSize: Style.fontText.pixelSize
    color: Style.textColor
    verticalAlignment: Text.AlignVCenter
    elide: Text.ElideRight
    padding: 0
}
