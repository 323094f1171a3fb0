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
    NotificationBanner {
        width: root.width
        z: 100
    }
    PermissionPrompt {
        anchors.fill: parent
        z: 101
    }

    Shortcut {
        sequence: "Escape"
        onActivated: bridge.dismissPresented()
    }
}
