// A house ad over the whole window: the creative's picture on black, its headline and call to
// action at the foot, and a close button at the top right that is hard to miss. Nothing under
// it can be touched while it shows; the close button (or Escape) is the way out.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: overlay
    property var entry: ({})
    objectName: "adOverlay"
    color: "#000000"
    Accessible.role: Accessible.Dialog
    Accessible.name: entry.headline || "Advertisement"

    // Taps, drags and the wheel stop here instead of reaching the screens underneath.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        onWheel: (wheel) => wheel.accepted = true
    }

    Image {
        id: picture
        anchors.fill: parent
        anchors.bottomMargin: texts.height + 24
        source: overlay.entry.image || ""
        fillMode: Image.PreserveAspectFit
        smooth: true
        asynchronous: false
    }

    Rectangle {
        anchors.fill: texts
        anchors.margins: -24
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#00000000" }
            GradientStop { position: 0.35; color: "#cc000000" }
        }
    }
    Column {
        id: texts
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 24
        anchors.bottomMargin: 40
        spacing: 8
        Text {
            textFormat: Text.PlainText
            width: parent.width
            text: overlay.entry.headline || ""
            color: "#ffffff"
            font.pixelSize: 26
            font.bold: true
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            textFormat: Text.PlainText
            width: parent.width
            text: overlay.entry.callToAction || ""
            color: "#e5e5ea"
            font.pixelSize: 17
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    AbstractButton {
        id: close
        objectName: "adClose"
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 16
        width: 44
        height: 44
        focusPolicy: Qt.NoFocus
        Accessible.role: Accessible.Button
        Accessible.name: overlay.entry.closeLabel || "Close"
        onClicked: bridge.tapButton(overlay.entry.closeHandle)
        background: Rectangle {
            radius: width / 2
            color: close.pressed ? "#99ffffff" : "#66000000"
            border.color: "#ccffffff"
            border.width: 2
        }
        // A drawn cross: no font needed for it.
        contentItem: Item {
            Repeater {
                model: [45, -45]
                delegate: Rectangle {
                    required property var modelData
                    anchors.centerIn: parent
                    width: 20
                    height: 2.5
                    radius: 1
                    color: "#ffffff"
                    rotation: modelData
                }
            }
        }
    }
}
