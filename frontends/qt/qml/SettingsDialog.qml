// The settings: the cloud folder shared with the other devices (another can be chosen), the
// sync state, what waits in each direction, the last problem in words, and attaching again.
// Every text comes from `settings` (SettingsPanel); this file only lays them out.
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts

Dialog {
    id: dialog
    objectName: "settingsDialog"
    title: "Settings"
    modal: true
    width: Math.min(parent ? parent.width - 32 : 520, 520)
    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? Math.max(16, (parent.height - height) / 3) : 0
    padding: 20
    topPadding: 8
    font.pixelSize: 15
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    standardButtons: Dialog.Close

    background: Rectangle { radius: 14; color: "#f9f9f9" }
    Overlay.modal: Rectangle { color: "#59000000" }
    header: Label {
        textFormat: Text.PlainText
        text: dialog.title
        font.pixelSize: 17
        font.bold: true
        horizontalAlignment: Text.AlignHCenter
        topPadding: 18
        bottomPadding: 4
        background: null
    }
    footer: DialogButtonBox {
        padding: 12
        background: null
    }

    onAboutToShow: settings.refresh()

    // What waits changes as sync runs: read again while the dialog shows.
    Timer {
        interval: 1000
        repeat: true
        running: dialog.visible
        onTriggered: settings.refresh()
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 8

        Label { text: "CLOUD FOLDER"; font.pixelSize: 13; color: "#6d6d72" }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsFolder"
            text: settings.folder
            wrapMode: Text.WrapAnywhere
            Layout.fillWidth: true
        }
        Button {
            objectName: "settingsChooseFolder"
            text: settings.moving ? "Moving…" : "Choose Folder…"
            enabled: !settings.moving
            onClicked: folderDialog.open()
        }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsNote"
            visible: text !== ""
            text: settings.note
            color: "#6d6d72"
            font.pixelSize: 13
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsMessage"
            visible: text !== ""
            text: settings.message
            color: "#ff3b30"
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }

        Label { text: "SYNC"; font.pixelSize: 13; color: "#6d6d72"; Layout.topMargin: 14 }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsState"
            text: settings.state
            Layout.fillWidth: true
        }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsWaiting"
            text: settings.waiting
            color: "#3a3a3c"
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }
        Label {
            textFormat: Text.PlainText
            objectName: "settingsProblem"
            visible: text !== ""
            text: settings.problem
            color: "#ff3b30"
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }
        Button {
            objectName: "settingsReattach"
            visible: settings.canReattach
            text: "Attach Again"
            onClicked: settings.reattach()
        }
    }

    FolderDialog {
        id: folderDialog
        title: "Choose the cloud folder"
        currentFolder: settings.folderUrl
        onAccepted: settings.chooseFolder(selectedFolder)
    }
}
