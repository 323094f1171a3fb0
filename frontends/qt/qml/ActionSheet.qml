// An action sheet: its choices in a panel at the bottom of a narrow window, or beside the
// bar's buttons on a wide one; the cancel choice apart from the others.
import QtQuick
import QtQuick.Controls

Item {
    id: sheet
    property var entry: ({})
    readonly property var choices: (entry.actions || []).filter(a => a.style !== "cancel")
    readonly property var cancel: (entry.actions || []).find(a => a.style === "cancel")
    readonly property bool wide: entry.wide === true
    readonly property real panelWidth: wide ? 320 : Math.min(width - 16, 500)
    // The columns' places in the window (Main.qml).
    property real primaryWidth: width
    property real secondaryLeft: width

    Column {
        id: panel
        objectName: "actionSheet:" + (sheet.entry.title || "")
        width: sheet.panelWidth
        spacing: 8
        // Beside its button on a wide window (above a toolbar, below a navigation bar), from
        // the bottom on a narrow one.
        readonly property real columnLeft: sheet.entry.anchorColumn === 1 ? sheet.secondaryLeft : 0
        readonly property real columnWidth: sheet.entry.anchorColumn === 1 ? sheet.width - sheet.secondaryLeft
                                                                           : sheet.primaryWidth
        x: !sheet.wide ? (sheet.width - width) / 2
           : Math.max(8, Math.min(sheet.width - width - 8,
                                  columnLeft + 8 + (columnWidth - width - 16) * (sheet.entry.anchorAlong || 0)))
        y: !sheet.wide ? sheet.height - height - 12
           : sheet.entry.anchorBar === "toolbar" ? sheet.height - 48 - height - 8 : 56
        Accessible.role: Accessible.Dialog
        Accessible.name: sheet.entry.title || ""

        Rectangle {
            width: parent.width
            height: choiceColumn.height
            radius: 13
            color: "#f9f9f9"
            clip: true
            Column {
                id: choiceColumn
                width: parent.width
                Text {
                    textFormat: Text.PlainText
                    visible: text !== ""
                    width: parent.width
                    height: visible ? 40 : 0
                    text: sheet.entry.title || ""
                    color: "#8e8e93"
                    font.pixelSize: 13
                    font.bold: true
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                Repeater {
                    model: sheet.choices
                    delegate: SheetChoice { choice: modelData; required property var modelData }
                }
            }
        }
        Rectangle {
            visible: sheet.cancel !== undefined && !sheet.wide
            width: parent.width
            height: 56
            radius: 13
            color: "#ffffff"
            SheetChoice {
                anchors.fill: parent
                choice: sheet.cancel || ({})
                bold: true
                separator: false
            }
        }
    }

    component SheetChoice: AbstractButton {
        property var choice: ({})
        property bool bold: false
        property bool separator: true
        objectName: "sheetAction:" + (choice.title || "")
        width: parent ? parent.width : 0
        height: 56
        enabled: choice.enabled !== false
        Accessible.role: Accessible.Button
        Accessible.name: choice.title || ""
        onClicked: bridge.tapAlertAction(choice.handle)
        background: Rectangle {
            color: parent.pressed ? "#e5e5ea" : "transparent"
            Rectangle { visible: parent.parent.separator; width: parent.width; height: 1; color: "#d1d1d6" }
        }
        contentItem: Text {
            textFormat: Text.PlainText
            text: parent.choice.title || ""
            color: parent.choice.style === "destructive" ? "#ff3b30" : "#007aff"
            font.pixelSize: 19
            font.bold: parent.bold
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
            maximumLineCount: 1
        }
    }
}
