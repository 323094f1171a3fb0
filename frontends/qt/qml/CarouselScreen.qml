// The carousel: swatches on a vertical cover-flow path; a swipe comes to rest on one, which
// tells the carousel (and the screen titles it).
import QtQuick
import QtQuick.Controls

Rectangle {
    id: carouselScreen
    property QtObject screen: null
    color: screen ? screen.background : "#ebebeb"

    PathView {
        id: path
        objectName: "carousel"
        anchors.fill: parent
        model: carouselScreen.screen ? carouselScreen.screen.carouselColors.length : 0
        pathItemCount: 7
        preferredHighlightBegin: 0.5
        preferredHighlightEnd: 0.5
        highlightRangeMode: PathView.StrictlyEnforceRange
        snapMode: PathView.SnapOneItem
        dragMargin: width
        focus: true
        Accessible.role: Accessible.List
        Accessible.name: "Themes"

        readonly property real swatchWidth: Math.min(width * 0.7, 280)
        readonly property real swatchHeight: swatchWidth * 0.55
        path: Path {
            startX: path.width / 2
            startY: -path.swatchHeight * 0.4
            PathAttribute { name: "itemScale"; value: 0.55 }
            PathAttribute { name: "itemAngle"; value: 55 }
            PathAttribute { name: "itemZ"; value: 0 }
            PathLine { x: path.width / 2; y: path.height / 2 }
            PathAttribute { name: "itemScale"; value: 1.0 }
            PathAttribute { name: "itemAngle"; value: 0 }
            PathAttribute { name: "itemZ"; value: 100 }
            PathLine { x: path.width / 2; y: path.height + path.swatchHeight * 0.4 }
            PathAttribute { name: "itemScale"; value: 0.55 }
            PathAttribute { name: "itemAngle"; value: -55 }
            PathAttribute { name: "itemZ"; value: 0 }
        }
        delegate: Rectangle {
            required property int index
            width: path.swatchWidth
            height: path.swatchHeight
            radius: 14
            color: carouselScreen.screen.carouselColors[index] || "#888888"
            border.color: PathView.isCurrentItem ? "#ffffff" : "transparent"
            border.width: 3
            scale: PathView.itemScale || 1
            z: PathView.itemZ || 0
            transform: Rotation {
                origin.x: width / 2
                origin.y: height / 2
                axis { x: 1; y: 0; z: 0 }
                angle: PathView.itemAngle || 0
            }
            TapHandler {
                onTapped: {
                    path.currentIndex = index
                    carouselScreen.screen.scrollCarouselTo(index)
                }
            }
        }
        Component.onCompleted: currentIndex = carouselScreen.screen ? carouselScreen.screen.carouselIndex : 0
        onMovementEnded: carouselScreen.screen.scrollCarouselTo(currentIndex)
        Keys.onUpPressed: { decrementCurrentIndex(); carouselScreen.screen.scrollCarouselTo(currentIndex) }
        Keys.onDownPressed: { incrementCurrentIndex(); carouselScreen.screen.scrollCarouselTo(currentIndex) }
    }
}
