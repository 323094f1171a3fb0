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
    property QtObject table: null
    readonly property bool editing: table !== null && table.editing

    height: rowHeight > 0 ? rowHeight : 44
    padding: 0
    objectName: "row:" + title
    Accessible.role: Accessible.ListItem
    Accessible.name: title
    swipe.enabled: !editing && canEdit
    highlighted: selected

    onClicked: if (table) table.tapRow(index)

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
        color: row.down || row.highlighted ? "#e5e5ea" : "#ffffff"
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
            anchors.right: handle.left
            height: parent.height
            parts: row.parts
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
                TapHandler { onTapped: row.table.tapRowAction(index) }
            }
        }
    }
}
