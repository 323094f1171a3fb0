// One column: a navigation bar with the top screen's title and buttons, the screen, and the
// toolbar when the screen has one.
import QtQuick
import QtQuick.Controls

Item {
    id: columnView
    property QtObject column: null
    readonly property QtObject screen: column ? column.screen : null
    clip: true

    Rectangle {
        id: bar
        objectName: "navigationBar"
        visible: columnView.column !== null && columnView.column.barVisible
        width: parent.width
        height: visible ? 52 : 0
        color: columnView.column ? columnView.column.barColor : "#f7f7f7"
        z: 2

        Row {
            id: leftSide
            anchors.left: parent.left
            anchors.leftMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4
            BarButton {
                visible: columnView.column !== null && columnView.column.backTitle !== ""
                item: ({ kind: "back", label: columnView.column ? columnView.column.backTitle : "", enabled: true })
                tint: columnView.column ? columnView.column.barTint : "#007aff"
                maxWidth: columnView.width * 0.3
                onTapped: columnView.column.goBack()
            }
            Repeater {
                model: columnView.column ? columnView.column.leftItems : []
                delegate: BarButton {
                    required property var modelData
                    item: modelData
                    tint: columnView.column.barTint
                    onTapped: bridge.tapBarItem(modelData.handle)
                }
            }
        }
        Text {
            textFormat: Text.PlainText
            objectName: "navigationTitle"
            anchors.centerIn: parent
            width: Math.max(0, parent.width - 2 * Math.max(leftSide.width, rightSide.width) - 32)
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            maximumLineCount: 1
            text: columnView.column ? columnView.column.title : ""
            color: columnView.column ? columnView.column.titleColor : "#000000"
            font.pixelSize: 17
            font.bold: true
            Accessible.role: Accessible.TitleBar
            Accessible.name: text
            Accessible.ignored: text === ""
        }
        Row {
            id: rightSide
            anchors.right: parent.right
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4
            Repeater {
                model: columnView.column ? columnView.column.rightItems : []
                delegate: BarButton {
                    required property var modelData
                    item: modelData
                    tint: columnView.column.barTint
                    onTapped: bridge.tapBarItem(modelData.handle)
                }
            }
        }
    }

    // The table the column shows, if any (for the keyboard).
    function tableList() {
        return content.item && content.item.listView !== undefined ? content.item.listView : null
    }

    Loader {
        id: content
        anchors.top: bar.bottom
        anchors.bottom: toolbar.top
        width: parent.width
        readonly property QtObject screen: columnView.screen
        sourceComponent: !screen ? null
                       : screen.kind === "table" ? tableScreen
                       : screen.kind === "carousel" ? carouselScreen
                       : plainScreen
    }
    Component {
        id: tableScreen
        TableScreen { screen: content.screen }
    }
    Component {
        id: carouselScreen
        CarouselScreen { screen: content.screen }
    }
    Component {
        id: plainScreen
        PlainScreen { screen: content.screen }
    }

    Rectangle {
        id: toolbar
        objectName: "toolbar"
        visible: columnView.column !== null && columnView.column.toolbarVisible
        anchors.bottom: parent.bottom
        width: parent.width
        height: visible ? 48 : 0
        color: columnView.column ? columnView.column.toolbarColor : "#f7f7f7"
        Rectangle { width: parent.width; height: 1; color: "#d1d1d6" }
        Row {
            id: toolRow
            anchors.fill: parent
            anchors.leftMargin: 8
            anchors.rightMargin: 8
            readonly property var items: columnView.column ? columnView.column.toolbarItems : []
            readonly property int flexibleCount: items.filter(i => i.kind === "flexibleSpace").length
            property real fixedWidth: 0
            Repeater {
                id: toolItems
                model: toolRow.items
                delegate: BarButton {
                    required property var modelData
                    item: modelData
                    tint: columnView.column.toolbarTint
                    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
                    spaceWidth: toolRow.flexibleCount > 0
                        ? Math.max(0, (toolRow.width - toolRow.contentWidthOfButtons()) / toolRow.flexibleCount) : 0
                    onTapped: bridge.tapBarItem(modelData.handle)
                }
            }
            function contentWidthOfButtons() {
                let total = 0;
                for (let i = 0; i < toolItems.count; ++i) {
                    const button = toolItems.itemAt(i);
                    if (button && button.item.kind !== "flexibleSpace")
                        total += button.implicitWidth;
                }
                return total;
            }
        }
    }
}
