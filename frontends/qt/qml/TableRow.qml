// One row of a table: the cell's content, the delete control and drag handle in editing mode,
// and the buttons a swipe shows. Every gesture goes to the table's model.
import QtQuick
import QtQuick.Controls

SwipeDelegate {
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
    // The keyboard's place in the table (the ListView's current row while the table has the
    // keyboard): a highlight only, the platform's selection is not touched.
    readonly property bool keySelected: ListView.isCurrentItem && ListView.view !== null
                                        && ListView.view.activeFocus && ListView.view.showsKeyRow

    height: rowHeight > 0 ? rowHeight : 44
    padding: 0
    objectName: "row:" + title
    Accessible.role: Accessible.ListItem
    Accessible.name: title
    swipe.enabled: !editing && canEdit
    highlighted: selected

    onClicked: {
        // A tap gives the table the keyboard, from this row on.
        if (ListView.view) {
            ListView.view.showsKeyRow = false
            ListView.view.currentIndex = index
            ListView.view.forceActiveFocus()
        }
        if (table)
            table.tapRow(index)
    }
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
    // A long press on the row (beside its text, which a tap edits in place) does what the
    // accessory button does: on an item, its multi-line editor.
    onPressAndHold: if (table && accessory !== "") table.tapAccessory(index)

    // A swipe that starts on the row's text field: the field takes the press, so the
    // delegate's own swipe never sees it; the field reports the drag (PartView.qml) and the
    // row's buttons open.
    function openSwipe() {
        if (swipe.enabled && swipe.position === 0 && table) {
            table.swipeRow(index)
            swipe.open(SwipeDelegate.Right)
        }
    }

    swipe.onPositionChanged: {
        if (swipe.position < 0 && table && table.swipedRow !== index)
            table.swipeRow(index)
    }
    Connections {
        target: row.table
        function onSwipeChanged() {
            if (row.table.swipedRow !== row.index && row.swipe.position !== 0)
                row.swipe.close()
        }
    }

    // The drag of a reorder handle: the row follows the pointer, and where it is let go
    // decides its new place.
    property real dragOffset: 0
    transform: Translate { y: row.dragOffset }
    z: dragOffset !== 0 ? 5 : 0

    background: Rectangle {
        color: row.down || row.highlighted ? "#e5e5ea" : row.keySelected ? "#dde9fb" : "#ffffff"
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
    }

    contentItem: Item {
        Rectangle {
            id: deleteControl
            objectName: "deleteControl"
            visible: row.editing && row.canEdit
            width: visible ? 22 : 0
            height: 22
            radius: 11
            color: "#ff3b30"
            x: visible ? 12 : 0
            anchors.verticalCenter: parent.verticalCenter
            Rectangle { anchors.centerIn: parent; width: 12; height: 2; color: "white" }
            Accessible.role: Accessible.Button
            Accessible.name: "Delete " + row.title
            TapHandler { onTapped: row.table.deleteRow(row.index) }
        }
        CellContent {
            anchors.left: deleteControl.right
            anchors.right: accessoryButton.left
            height: parent.height
            parts: row.parts
            onSwipedLeft: row.openSwipe()
        }
        // The accessory button: what more the row offers (on an item, its multi-line editor).
        // "⋯" beside the text, so tapping the text still edits it in place.
        AbstractButton {
            id: accessoryButton
            objectName: "accessory:" + row.title
            visible: row.accessory !== "" && !row.editing
            width: visible ? 40 : 0
            height: parent.height
            anchors.right: handle.left
            focusPolicy: Qt.NoFocus
            Accessible.role: Accessible.Button
            Accessible.name: row.accessory
            onClicked: row.table.tapAccessory(row.index)
            contentItem: Text {
                text: "⋯"
                color: "#8e8e93"
                opacity: accessoryButton.pressed ? 0.4 : 1.0
                font.pixelSize: 22
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Item {}
        }
        Text {
            id: handle
            objectName: "dragHandle"
            visible: row.editing && row.canMove
            width: visible ? 44 : 0
            height: parent.height
            anchors.right: parent.right
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

    swipe.right: Row {
        anchors.right: parent.right
        height: parent.height
        Component.onCompleted: if (row.table) row.table.ownSwipeItem(this, row)
        Repeater {
            model: row.table && row.table.swipedRow === row.index ? row.table.swipeActions : []
            delegate: Rectangle {
                required property var modelData
                required property int index
                width: Math.max(76, actionLabel.implicitWidth + 24)
                height: row.height
                color: modelData.color
                objectName: "rowAction:" + modelData.title
                Accessible.role: Accessible.Button
                Accessible.name: modelData.title
                Text {
                    id: actionLabel
                    anchors.centerIn: parent
                    text: modelData.title
                    color: "white"
                    font.pixelSize: 15
                }
                // The delegate takes the presses on its swipe items and reports a click
                // through this attached signal (a handler here would never see one).
                SwipeDelegate.onClicked: row.table.tapRowAction(index)
            }
        }
    }
}
