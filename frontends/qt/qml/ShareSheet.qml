// The share sheet: what is shared, and what can be done with it here (the activities the
// sheet offers: Copy, Save, Print, Email), then Cancel.
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs

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
                textFormat: Text.PlainText
                width: parent.width
                text: share.entry.text || ""
                maximumLineCount: 6
                elide: Text.ElideRight
                wrapMode: Text.WordWrap
                color: "#3a3a3c"
                font.pixelSize: 14
            }
            Repeater {
                model: share.entry.activities || []
                delegate: Button {
                    required property var modelData
                    objectName: "shareActivity:" + modelData.title
                    width: column.width
                    text: modelData.title
                    Accessible.name: modelData.title
                    onClicked: {
                        switch (modelData.kind) {
                        case "copy": sharing.copy(); break
                        case "save":
                            if (sharing.testSaveFile !== "") sharing.saveTo("")
                            else saveDialog.open()
                            break
                        case "print": sharing.print(); break
                        case "mail": sharing.email(); break
                        }
                    }
                }
            }
            Button {
                objectName: "shareCancel"
                width: parent.width
                text: "Cancel"
                onClicked: bridge.dismissPresented()
            }
        }
    }

    FileDialog {
        id: saveDialog
        title: "Save"
        fileMode: FileDialog.SaveFile
        defaultSuffix: "txt"
        nameFilters: ["Text files (*.txt)"]
        selectedFile: sharing.suggestedFile
        onAccepted: sharing.saveTo(selectedFile)
    }
}
