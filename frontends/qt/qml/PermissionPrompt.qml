// The application's own "allow notifications?" dialog, over everything: the question and the
// two answers side by side. It stays until one of them is chosen.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Item {
    id: prompt
    visible: permissionPrompt.showing

    Rectangle {
        anchors.fill: parent
        color: "#000000"
        opacity: 0.35
    }
    // Nothing under the question can be touched until it is answered.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        onWheel: (wheel) => wheel.accepted = true
    }

    Rectangle {
        id: box
        objectName: "permissionPrompt"
        anchors.centerIn: parent
        width: Math.min(300, parent.width - 40)
        height: content.implicitHeight
        radius: 14
        color: "#f9f9f9"
        Accessible.role: Accessible.Dialog
        Accessible.name: permissionPrompt.title

        ColumnLayout {
            id: content
            width: parent.width
            spacing: 0
            Text {
                textFormat: Text.PlainText
                text: permissionPrompt.title
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
                text: permissionPrompt.message
                font.pixelSize: 13
                color: "#000000"
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                Layout.fillWidth: true
                Layout.topMargin: 4
                Layout.leftMargin: 16
                Layout.rightMargin: 16
            }
            Item { Layout.preferredHeight: 18 }
            // Plain rows, not a layout: the buttons have their places as soon as they show.
            Row {
                Layout.fillWidth: true
                Repeater {
                    model: [[permissionPrompt.denyText, false], [permissionPrompt.allowText, true]]
                    delegate: AbstractButton {
                        required property var modelData
                        required property int index
                        objectName: "promptButton:" + modelData[0]
                        width: box.width / 2
                        height: 46
                        Accessible.role: Accessible.Button
                        Accessible.name: modelData[0]
                        onClicked: permissionPrompt.answer(modelData[1])
                        background: Rectangle {
                            color: parent.pressed ? "#e5e5ea" : "transparent"
                            Rectangle { width: parent.width; height: 1; color: "#d1d1d6" }
                            Rectangle { visible: index === 1; width: 1; height: parent.height; color: "#d1d1d6" }
                        }
                        contentItem: Text {
                            textFormat: Text.PlainText
                            text: modelData[0]
                            color: "#007aff"
                            font.pixelSize: 17
                            font.bold: modelData[1]
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }
            }
        }
    }
}
