// A screen that is one table: a ListView over the table's model. Only rows on screen exist
// (no cache buffer): the table keeps cells for its visible area alone.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: tableScreen
    property QtObject screen: null
    readonly property QtObject table: screen ? screen.table : null
    readonly property alias listView: list
    color: screen ? screen.background : "#ffffff"

    ListView {
        id: list
        objectName: "tableList"
        anchors.fill: parent
        model: tableScreen.table
        cacheBuffer: 0
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        keyNavigationEnabled: false
        highlightFollowsCurrentItem: false
        currentIndex: -1
        ScrollBar.vertical: ScrollBar {}
        onContentYChanged: if (tableScreen.table) tableScreen.table.scrollTo(contentY - originY)
        header: Item {
            width: list.width
            height: tableScreen.screen ? tableScreen.screen.headerHeight : 0
            visible: height > 0
            CellContent {
                anchors.fill: parent
                parts: tableScreen.screen ? tableScreen.screen.header : []
            }
        }
        delegate: TableRow {
            table: tableScreen.table
            width: list.width
        }
        // The keyboard, while the table has it (never while a field has it): the arrows move
        // the highlighted row in the rows' order as drawn, Return or Enter taps it; Space is
        // the row's own (TableRow.qml).
        activeFocusOnTab: true
        // The highlight shows once the keys are used, and goes when a row is clicked: a
        // person using the mouse sees no keyboard cursor.
        property bool showsKeyRow: false
        Keys.onUpPressed: moveKeyRow(-1)
        Keys.onDownPressed: moveKeyRow(1)
        Keys.onReturnPressed: if (currentIndex >= 0) tableScreen.table.tapRow(currentIndex)
        Keys.onEnterPressed: if (currentIndex >= 0) tableScreen.table.tapRow(currentIndex)
        function moveKeyRow(step) {
            if (count === 0)
                return
            currentIndex = currentIndex < 0 ? (step > 0 ? 0 : count - 1)
                                            : Math.max(0, Math.min(count - 1, currentIndex + step))
            positionViewAtIndex(currentIndex, ListView.Contain)
            showsKeyRow = true
        }
    }

    // The screen's own views, over the table (an empty table's placeholder, say).
    Repeater {
        model: tableScreen.screen ? tableScreen.screen.views.length : 0
        delegate: PartView {
            required property int index
            part: tableScreen.screen.views[index] || ({})
            x: part.x || 0
            y: part.y || 0
            width: part.w || 0
            height: part.h || 0
        }
    }
}
