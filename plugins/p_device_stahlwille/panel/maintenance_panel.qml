import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import PlgLibDeviceStahlwille 1.0
import "../panels"
import "../widgets"

// Maintenance panel of the torque wrench: the device information of the
// maintained object and the fields of the wrench's last printed result line.
BasePanelMaintenance {
    id: rootItem
    objectName: "maintenance_panel_device_stahlwille"
    name: be.name
    connected: be.isConnected

    BeMaintenanceDeviceStahlwille {
        id: be
        name: "{OBJECT_NAME}"
        objectId: "{OBJECT_ID}"
        reference: "{OBJECT_REFERENCE}"
    }

    ListModel {
        id: listModel
        ListElement { key: "Event number"; value: "-" }
        ListElement { key: "Execution time"; value: "-" }
        ListElement { key: "Internal date/time"; value: "-" }
        ListElement { key: "Sign"; value: "-" }
        ListElement { key: "Torque"; value: "-" }
    }

    contentItem: Column {
        id: idColumn
        objectName: rootItem.objectName + ".idColumn"
        width: rootItem.width
        spacing: rootItem.spacing

        ListView {
            id: idDeviceInfoListView
            width: idColumn.width
            height: contentHeight
            model: be.deviceInfo
            delegate: RowLayout {
                width: idDeviceInfoListView.width
                height: Style.baseHeight * 3
                spacing: 10

                UiLabel {
                    text: modelData.name
                    font.bold: true
                }
                Item {
                    Layout.fillWidth: true
                }
                UiLabel {
                    text: modelData.value
                }
            }
        }

        Text {
            id: idTitleStatus
            objectName: idColumn.objectName + ".idTitleStatus"
            font: Style.fontLabel
            //% "Controller Status"
            text: qsTrId("maintenance_panel_Controller_Status")
        }

        ListView {
            id: idValues
            width: idColumn.width
            height: contentHeight
            model: listModel
            delegate: Item {
                width: idValues.width
                height: 40

                UiLabel {
                    anchors.left: parent.left
                    anchors.verticalCenter: parent.verticalCenter
                    text: key + ":"
                    font.bold: true
                }
                UiLabel {
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: value
                }
            }

            Connections {
                target: be
                function onChannelsModelChanged() {
                    var values = be.lastValue
                    listModel.clear()
                    for (var key in values) {
                        listModel.append({ "key": key, "value": values[key] })
                    }
                }
            }
        }
    }
}
