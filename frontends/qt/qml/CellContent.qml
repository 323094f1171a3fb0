// What a cell shows, from its views in left-to-right order: images and buttons keep their
// size, the first text takes the room left, and a progress bar runs under the texts.
import QtQuick
import QtQuick.Layouts

Item {
    id: cell
    property var parts: []
    // The fields are drawn as text until used (a table's rows; see PartView.qml).
    property bool lazyFields: false
    // A field at rest was dragged to the left (a swipe on the row).
    signal swipedLeft()
    readonly property var order: {
        const indexes = [];
        for (let i = 0; i < parts.length; ++i)
            if (parts[i].kind !== "progress")
                indexes.push(i);
        indexes.sort((a, b) => parts[a].x - parts[b].x);
        return indexes;
    }
    readonly property var progress: {
        for (let i = 0; i < parts.length; ++i)
            if (parts[i].kind === "progress")
                return parts[i];
        return null;
    }

    RowLayout {
        id: line
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: cell.progress ? -4 : 0
        spacing: 12
        Repeater {
            model: cell.order.length
            delegate: PartView {
                required property int index
                part: cell.parts[cell.order[index]] || ({})
                inRow: true
                lazyField: cell.lazyFields
                onSwipedLeft: cell.swipedLeft()
            }
        }
    }
    // Made only for a cell with a progress bar (most rows have none).
    Loader {
        active: cell.progress !== null
        anchors.left: line.left
        anchors.right: line.right
        anchors.leftMargin: 36
        y: line.y + line.height + 6
        height: 4
        sourceComponent: ProgressLine { part: cell.progress }
    }
}
