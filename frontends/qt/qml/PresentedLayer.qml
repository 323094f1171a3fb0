// One presentation over the window: a dimmed backdrop and the alert, action sheet, share
// sheet, screen or full-window ad it shows.
import QtQuick
import QtQuick.Controls

Item {
    id: presentation
    property var entry: ({})
    property real primaryWidth: width
    readonly property string kind: entry.kind || ""

    Rectangle {
        anchors.fill: parent
        color: "#000000"
        opacity: presentation.kind === "ad" || (presentation.kind === "screen" && presentation.entry.fullScreen) ? 0 : 0.35
        // Taps beside a sheet close it as the platform does; an alert waits for its buttons.
        TapHandler { onTapped: if (presentation.kind === "share" || presentation.kind === "sheet") bridge.dismissPresented() }
    }

    Loader {
        anchors.fill: parent
        sourceComponent: presentation.kind === "alert" ? alert
                       : presentation.kind === "sheet" ? sheet
                       : presentation.kind === "share" ? share
                       : presentation.kind === "screen" ? screen
                       : presentation.kind === "ad" ? ad : null
    }
    Component {
        id: ad
        AdOverlay { entry: presentation.entry }
    }
    Component {
        id: alert
        Item { AlertBox { entry: presentation.entry; anchors.centerIn: parent } }
    }
    Component {
        id: sheet
        ActionSheet {
            entry: presentation.entry
            primaryWidth: presentation.primaryWidth
            secondaryLeft: presentation.primaryWidth + 1
        }
    }
    Component {
        id: share
        ShareSheet { entry: presentation.entry }
    }
    Component {
        id: screen
        Item {
            // Full screen on a narrow window; a centred sheet on a wide one.
            readonly property bool asSheet: presentation.entry.wide === true && presentation.entry.fullScreen !== true
            NavigationColumn {
                objectName: "presentedColumn"
                column: presentation.entry.column || null
                width: parent.asSheet ? Math.min(540, parent.width - 80) : parent.width
                height: parent.asSheet ? Math.min(620, parent.height - 80) : parent.height
                anchors.centerIn: parent
                Rectangle {
                    anchors.fill: parent
                    z: -1
                    color: "#ffffff"
                }
            }
        }
    }
}
