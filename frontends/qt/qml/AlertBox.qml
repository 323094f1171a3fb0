// An alert: title, message, its text fields (return commits) and its buttons side by side
// (two) or one under the other.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Rectangle {
    id: box
    property var entry: ({})
    readonly property var actions: entry.actions || []
    readonly property var fields: entry.fields || []
    readonly property bool sideBySide: actions.length === 2
    objectName: "alert:" + (entry.title || "")
    width: 290
    height: content.implicitHeight
    radius: 14
    color: "#f9f9f9"
    Accessible.role: Accessible.Dialog
    Accessible.name: entry.title || ""

    ColumnLayout {
        id: content
        width: parent.width
        spacing: 0
        Text {
            textFormat: Text.PlainText
            visible: text !== ""
            text: box.entry.title || ""
            font.pixelSize: 17
            font.bold: true
            color: "#000000"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
            Layout.topMargin: 20
            Layout.leftMargin: 16
            Layout.rightMargin: 16
        }
        Text {
            textFormat: Text.PlainText
            visible: text !== ""
            text: box.entry.message || ""
            font.pixelSize: 13
            color: "#000000"
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
            Layout.topMargin: 4
            Layout.leftMargin: 16
            Layout.rightMargin: 16
        }
        Repeater {
            model: box.fields.length
            delegate: TextField {
                id: input
                required property int index
                readonly property int handle: box.fields[index] ? box.fields[index].handle : 0
                objectName: "alertField:" + placeholderText
                placeholderText: box.fields[index] ? box.fields[index].placeholder : ""
                text: { bridge.revision; return bridge.fieldText(handle) }
                font.pixelSize: 15
                padding: 8
                Layout.fillWidth: true
                Layout.topMargin: 12
                Layout.leftMargin: 16
                Layout.rightMargin: 16
                Accessible.name: placeholderText
                background: Rectangle { color: "#ffffff"; border.color: "#c7c7cc"; radius: 5 }
                onTextEdited: bridge.editField(handle, text)
                onAccepted: bridge.pressReturn(handle)
                onActiveFocusChanged: if (activeFocus) bridge.focusField(handle)
                Component.onCompleted: if (bridge.focusedHandle === handle) forceActiveFocus()
                Connections {
                    target: bridge
                    function onFocusChanged() {
                        if (bridge.focusedHandle === input.handle && !input.activeFocus)
                            input.forceActiveFocus()
                    }
                }
            }
        }
        Item { Layout.preferredHeight: 18 }
        GridLayout {
            columns: box.sideBySide ? 2 : 1
            columnSpacing: 0
            rowSpacing: 0
            Layout.fillWidth: true
            Repeater {
                model: box.actions
                delegate: AbstractButton {
                    required property var modelData
                    objectName: "alertAction:" + modelData.title
                    Layout.fillWidth: true
                    Layout.preferredHeight: 46
                    enabled: modelData.enabled
                    Accessible.role: Accessible.Button
                    Accessible.name: modelData.title
                    onClicked: bridge.tapAlertAction(modelData.handle)
                    background: Rectangle {
                        color: parent.pressed ? "#e5e5ea" : "transparent"
                        Rectangle { width: parent.width; height: 1; color: "#d1d1d6" }
                        Rectangle { visible: box.sideBySide; width: 1; height: parent.height; color: "#d1d1d6" }
                    }
                    contentItem: Text {
                        textFormat: Text.PlainText
                        text: modelData.title
                        color: !modelData.enabled ? "#b0b0b5"
                             : modelData.style === "destructive" ? "#ff3b30" : "#007aff"
                        font.pixelSize: 17
                        font.bold: modelData.style === "cancel" || modelData.preferred
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                }
            }
        }
    }
}
