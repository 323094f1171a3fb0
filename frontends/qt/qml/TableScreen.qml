// A screen that is one table: a ListView over the table's model. Only rows on screen exist
// (no cache buffer): the table keeps cells for its visible area alone.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: tableScreen
    property QtObject screen: null
    readonly property QtObject table: screen ? screen.table : null
    color: screen ? screen.background : "#ffffff"

    ListView {
        id: list
        objectName: "tableList"
        anchors.fill: parent
        model: tableScreen.table
        cacheBuffer: 0
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        keyNavigationEnabled: true
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
        Keys.onReturnPressed: if (currentIndex >= 0) tableScreen.table.tapRow(currentIndex)
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
