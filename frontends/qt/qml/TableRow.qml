// One row of a table: the cell's content, the delete control and drag handle in editing mode,
// and the buttons a swipe shows. Every gesture goes to the table's model.
//
// A window shows a few dozen rows at once and makes them all before its first frame, so a row
// is built from plain items: one MouseArea takes the taps (the cell's buttons and fields
// included, see RowContent.qml), the long press and the horizontal swipe; the swipe's buttons
// and the editing controls exist only while they show.
import QtQuick

Item {
    id: row
    required property int index
    required property var parts
    required property real rowHeight
    required property bool canEdit
    required property bool canMove
    required property bool selected
    required property string title
    required property string accessory
    property QtObject table: null
    readonly property bool editing: table !== null && table.editing
    readonly property bool highlighted: selected
    // The keyboard's place in the table (the ListView's current row while the table has the
    // keyboard): a highlight only, the platform's selection is not touched.
    readonly property bool keySelected: ListView.isCurrentItem && ListView.view !== null
                                        && ListView.view.activeFocus && ListView.view.showsKeyRow

    // The swipe: how far the content is moved to the left (0 at rest), and whether the row's
    // buttons are all showing.
    readonly property bool swipeEnabled: !editing && canEdit
    property real swipeOffset: 0
    readonly property real swipeWidth: swipeButtons.item ? swipeButtons.item.width : 0
    readonly property bool swipeOpen: swipeWidth > 0 && swipeOffset <= -swipeWidth
    // This row's buttons belong to the table's swiped row; another row's swipe closes them.
    readonly property bool swipedHere: table !== null && table.swipedRow === index
    onSwipedHereChanged: if (!swipedHere) closeSwipe()
    onSwipeEnabledChanged: if (!swipeEnabled) closeSwipe()

    height: rowHeight > 0 ? rowHeight : 44
    objectName: "row:" + title
    Accessible.role: Accessible.ListItem
    Accessible.name: title
    // A screen reader's "activate" is the tap (the controls below likewise).
    Accessible.onPressAction: tap()

    // The list gives its current row the keyboard. Space there is the tap of the row's first
    // button (an item's tick), not a click on the row.
    Keys.onSpacePressed: tapFirstButton()
    Keys.onReleased: (event) => { if (event.key === Qt.Key_Space) event.accepted = true }
    function tapFirstButton() {
        for (let i = 0; i < parts.length; ++i) {
            if (parts[i].kind === "button" && parts[i].enabled !== false) {
                bridge.tapButton(parts[i].handle)
                return
            }
        }
    }

    function tap() {
        // A tap gives the table the keyboard, from this row on.
        if (ListView.view) {
            ListView.view.showsKeyRow = false
            ListView.view.currentIndex = index
            ListView.view.forceActiveFocus()
        }
        if (table)
            table.tapRow(index)
    }

    // A swipe that starts on a text field being edited: the field takes the press, so the
    // row's own mouse area never sees it; the field reports the drag (PartView.qml) and the
    // row's buttons open.
    function openSwipe() {
        if (swipeEnabled && swipeOffset === 0 && table) {
            table.swipeRow(index)
            // Moved by a pixel, the row makes its buttons, and the animation knows their width.
            swipeOffset = -1
            settle.to = -Math.max(swipeWidth, 1)
            settle.restart()
        }
    }
    function closeSwipe() {
        settle.stop()
        swipeOffset = 0
    }
    NumberAnimation {
        id: settle
        target: row
        property: "swipeOffset"
        duration: 120
        easing.type: Easing.OutCubic
    }

    // The drag of a reorder handle: the row follows the pointer, and where it is let go
    // decides its new place.
    property real dragOffset: 0
    transform: Translate { y: row.dragOffset }
    z: dragOffset !== 0 ? 5 : 0

    // The swipe's buttons, under the content at the row's trailing edge.
    Loader {
        id: swipeButtons
        anchors.right: parent.right
        height: parent.height
        active: row.swipedHere && row.swipeOffset < 0
        sourceComponent: Row {
            height: row.height
            Repeater {
                model: row.table ? row.table.swipeActions : []
                delegate: Rectangle {
                    required property var modelData
                    required property int index
                    width: Math.max(76, actionLabel.implicitWidth + 24)
                    height: row.height
                    color: modelData.color
                    objectName: "rowAction:" + modelData.title
                    Accessible.role: Accessible.Button
                    Accessible.name: modelData.title
                    Accessible.onPressAction: row.table.tapRowAction(index)
                    Text {
                        textFormat: Text.PlainText
                        id: actionLabel
                        anchors.centerIn: parent
                        text: modelData.title
                        color: "white"
                        font.pixelSize: 15
                    }
                    TapHandler { onTapped: row.table.tapRowAction(index) }
                }
            }
        }
    }

    Rectangle {
        id: content
        x: row.swipeOffset
        width: row.width
        height: row.height
        color: rowArea.pressed && !rowArea.swiping || row.highlighted ? "#e5e5ea"
             : row.keySelected ? "#dde9fb" : "#ffffff"
        // The keyboard's row also shows a bar at its leading edge, so it reads as a cursor
        // and not as the open list.
        Rectangle {
            visible: row.keySelected
            width: 4
            height: parent.height
            color: "#007aff"
        }
        Rectangle {
            anchors.bottom: parent.bottom
            x: 16
            width: parent.width - 16
            height: 1
            color: "#e0e0e5"
        }

        // Taps, the long press and the swipe of the whole row. The accessory button is drawn
        // over it and takes its taps from here, which saves a control per row.
        MouseArea {
            id: rowArea
            anchors.fill: parent
            property real startX: 0
            property real startOffset: 0
            property bool swiping: false
            readonly property bool onAccessory: accessoryButton.visible
                && mouseX >= accessoryButton.x && mouseX < accessoryButton.x + accessoryButton.width
            onPressed: (mouse) => {
                cellContent.pressAt(mapToItem(cellContent, mouse.x, 0).x)
                startX = mapToItem(row, mouse.x, 0).x
                startOffset = row.swipeOffset
                swiping = false
                settle.stop()
            }
            onPositionChanged: (mouse) => {
                if (!row.swipeEnabled)
                    return
                const moved = mapToItem(row, mouse.x, 0).x - startX
                if (!swiping && Math.abs(moved) < Qt.styleHints.startDragDistance)
                    return
                if (!swiping) {
                    swiping = true
                    cellContent.buttonPressed = false
                    preventStealing = true
                    if (!row.swipedHere && row.table)
                        row.table.swipeRow(row.index)
                }
                const widest = row.swipeWidth > 0 ? row.swipeWidth : row.width
                row.swipeOffset = Math.max(-widest, Math.min(0, startOffset + moved))
            }
            onReleased: {
                cellContent.buttonPressed = false
                preventStealing = false
                if (!swiping)
                    return
                // Let go past a third of the way, the buttons open; otherwise they close.
                settle.to = row.swipeWidth > 0 && row.swipeOffset < -row.swipeWidth / 3
                          ? -row.swipeWidth : 0
                settle.restart()
            }
            onCanceled: {
                cellContent.buttonPressed = false
                preventStealing = false
                if (swiping)
                    row.closeSwipe()
                swiping = false
            }
            onClicked: (mouse) => {
                if (swiping)
                    return
                const inCell = mapToItem(cellContent, mouse.x, mouse.y)
                if (row.swipeOffset !== 0)
                    row.closeSwipe()
                else if (onAccessory)
                    row.table.tapAccessory(row.index)
                else if (!cellContent.tapAt(inCell.x, inCell.y))
                    row.tap()
            }
            // A long press on the row (beside its text, which a tap edits in place) does what
            // the accessory button does: on an item, its multi-line editor.
            onPressAndHold: (mouse) => {
                if (!swiping && row.table && row.accessory !== "")
                    row.table.tapAccessory(row.index)
                else
                    mouse.accepted = false
            }
        }

        Loader {
            id: deleteControl
            active: row.editing && row.canEdit
            x: active ? 12 : 0
            width: active ? 22 : 0
            height: 22
            anchors.verticalCenter: parent.verticalCenter
            sourceComponent: Rectangle {
                objectName: "deleteControl"
                width: 22
                height: 22
                radius: 11
                color: "#ff3b30"
                Rectangle { anchors.centerIn: parent; width: 12; height: 2; color: "white" }
                Accessible.role: Accessible.Button
                Accessible.name: "Delete " + row.title
                Accessible.onPressAction: row.table.deleteRow(row.index)
                TapHandler { onTapped: row.table.deleteRow(row.index) }
            }
        }
        RowContent {
            id: cellContent
            anchors.left: deleteControl.right
            anchors.right: accessoryButton.left
            height: parent.height
            parts: row.parts
            onSwipedLeft: row.openSwipe()
        }
        // The accessory button: what more the row offers (on an item, its multi-line editor).
        // "⋯" beside the text, so tapping the text still edits it in place.
        Text {
            textFormat: Text.PlainText
            id: accessoryButton
            objectName: "accessory:" + row.title
            visible: row.accessory !== "" && !row.editing
            width: visible ? 40 : 0
            height: parent.height
            anchors.right: handle.left
            text: "⋯"
            color: "#8e8e93"
            opacity: rowArea.pressed && rowArea.onAccessory ? 0.4 : 1.0
            font.pixelSize: 22
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            Accessible.role: Accessible.Button
            Accessible.name: row.accessory
            Accessible.onPressAction: row.table.tapAccessory(row.index)
        }
        Loader {
            id: handle
            active: row.editing && row.canMove
            width: active ? 44 : 0
            height: parent.height
            anchors.right: parent.right
            sourceComponent: Text {
                textFormat: Text.PlainText
                objectName: "dragHandle"
                text: "≡"
                color: "#8e8e93"
                font.pixelSize: 24
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                Accessible.role: Accessible.Button
                Accessible.name: "Reorder " + row.title
                DragHandler {
                    target: null
                    yAxis.enabled: true
                    xAxis.enabled: false
                    onActiveTranslationChanged: row.dragOffset = activeTranslation.y
                    onActiveChanged: {
                        if (!active) {
                            const steps = Math.round(row.dragOffset / row.height)
                            const count = row.ListView.view ? row.ListView.view.count : 0
                            const to = Math.max(0, Math.min(count - 1, row.index + steps))
                            row.dragOffset = 0
                            if (to !== row.index)
                                row.table.dragRow(row.index, to)
                        }
                    }
                }
            }
        }
    }
}
