// The share sheet: what is shared, and what can be done with it here.
import QtQuick
import QtQuick.Controls

Item {
    id: share
    property var entry: ({})

    Rectangle {
        objectName: "shareSheet"
        width: Math.min(share.width - 16, 500)
        height: column.height + 24
        x: (share.width - width) / 2
        y: share.height - height - 12
        radius: 13
        color: "#f9f9f9"
        Accessible.role: Accessible.Dialog
        Accessible.name: "Share"
        Column {
            id: column
            x: 12
            y: 12
            width: parent.width - 24
            spacing: 10
            Text {
                width: parent.width
                text: share.entry.text || ""
                maximumLineCount: 6
                elide: Text.ElideRight
                wrapMode: Text.WordWrap
                color: "#3a3a3c"
                font.pixelSize: 14
            }
            Button {
                objectName: "shareCopy"
                width: parent.width
                text: "Copy"
                onClicked: {
                    bridge.copyToClipboard(share.entry.text || "")
                    bridge.dismissPresented()
                }
            }
            Button {
                width: parent.width
                text: "Cancel"
                onClicked: bridge.dismissPresented()
            }
        }
    }
}
