// The window: the split view's columns side by side (or the one column of a narrow window),
// and what is presented over them.
import QtQuick
import QtQuick.Controls

Window {
    id: root
    objectName: "mainWindow"
    width: initialWidth
    height: initialHeight
    minimumWidth: 320
    minimumHeight: 480
    visible: true
    title: "Jotwell"
    color: "#ffffff"

    readonly property bool split: bridge.secondary !== null
    // The lists column keeps a comfortable width beside the items.
    readonly property real primaryWidth: split ? Math.min(360, Math.max(300, width * 0.32)) : width

    onWidthChanged: bridge.setWindowSize(width, height)
    onHeightChanged: bridge.setWindowSize(width, height)
    onActiveChanged: bridge.setWindowActive(active)

    NavigationColumn {
        id: primaryColumn
        objectName: "primaryColumn"
        column: bridge.primary
        x: 0
        width: root.primaryWidth
        height: parent.height
    }
    Rectangle {
        visible: root.split
        x: root.primaryWidth
        width: 1
        height: parent.height
        color: "#c8c7cc"
        z: 1
    }
    NavigationColumn {
        id: secondaryColumn
        objectName: "secondaryColumn"
        column: bridge.secondary
        visible: root.split
        x: root.primaryWidth + 1
        width: parent.width - x
        height: parent.height
    }

    Repeater {
        model: bridge.presented.length
        delegate: PresentedLayer {
            required property int index
            entry: bridge.presented[index] || ({})
            primaryWidth: root.primaryWidth
            width: root.width
            height: root.height
            z: 10 + index
        }
    }

    // Over every presentation: reminders shown in the window, and the notification question.
    // Each is made when it first has something to show, so the window's start makes neither.
    Loader {
        width: root.width
        z: 100
        active: notifications.banners.length > 0 || item !== null
        source: "NotificationBanner.qml"
    }
    Loader {
        anchors.fill: parent
        z: 101
        active: permissionPrompt.showing || item !== null
        source: "PermissionPrompt.qml"
    }

    // The keyboard. Escape cancels what is presented on top (as its Cancel does), or else
    // leaves the text field being edited for its table; Ctrl+N is the lists' Add button. The
    // arrows, Return and Space act in the table that has the keyboard (TableScreen.qml); with
    // nothing focused an arrow gives it to the open list's table, else to the lists.
    readonly property bool textHasKeyboard: activeFocusItem !== null
                                            && activeFocusItem.cursorPosition !== undefined
    Shortcut {
        sequence: "Escape"
        // The settings dialog closes itself on Escape.
        enabled: !(settingsDialog.item && settingsDialog.item.visible)
        onActivated: {
            if (bridge.presented.length > 0)
                bridge.dismissPresented()
            else if (root.textHasKeyboard)
                root.giveKeyboardToTableOf(root.activeFocusItem)
        }
    }
    Shortcut {
        sequence: StandardKey.New
        onActivated: bridge.startNewList()
    }
    // Quit, Ctrl+Q as on Linux desktops (spelled out: Qt's offscreen platform binds no key
    // to StandardKey.Quit): the window closes as by its close button, so the program shuts
    // down the same way, saving first.
    Shortcut {
        sequence: "Ctrl+Q"
        context: Qt.ApplicationShortcut
        onActivated: root.close()
    }
    readonly property bool nothingHasKeyboard: bridge.presented.length === 0
        && (activeFocusItem === null || activeFocusItem === contentItem)
    Shortcut {
        sequence: "Up"
        enabled: root.nothingHasKeyboard
        onActivated: root.arrowIntoTable(-1)
    }
    Shortcut {
        sequence: "Down"
        enabled: root.nothingHasKeyboard
        onActivated: root.arrowIntoTable(1)
    }
    function arrowIntoTable(step) {
        const open = secondaryColumn.visible ? secondaryColumn.tableList() : null
        const table = open && open.count > 0 ? open : primaryColumn.tableList()
        if (table) {
            // Coming in fresh: down starts at the first row, up at the last.
            table.currentIndex = -1
            table.forceActiveFocus()
            table.moveKeyRow(step)
        }
    }
    function giveKeyboardToTableOf(item) {
        // The field lets go first, or the table (a focus scope) would hand the keyboard
        // straight back to it.
        item.focus = false
        for (let at = item; at; at = at.parent) {
            if (at.objectName === "tableList") {
                at.forceActiveFocus()
                if (at.currentItem)
                    at.currentItem.forceActiveFocus()
                return
            }
        }
        root.contentItem.forceActiveFocus()
    }

    // The settings dialog is made the first time it opens (its file and the dialogs module
    // are not even read before then), and kept.
    Loader {
        id: settingsDialog
        // The dialog centres itself in its parent, this Loader over the whole window.
        anchors.fill: parent
        z: 100
        active: false
        source: "SettingsDialog.qml"
        onLoaded: item.open()
        function open() {
            if (item)
                item.open()
            else
                active = true
        }
    }
    Shortcut {
        sequence: "Ctrl+,"
        onActivated: settingsDialog.open()
    }
    Connections {
        target: settings
        function onOpenRequested() { settingsDialog.open() }
    }
}
