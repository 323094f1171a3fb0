// A row's progress bar (a list's share of items checked): a grey track with the done part in
// the view's colour, or the system blue when it has none. `part` is the tree's progress view.
import QtQuick

Rectangle {
    id: line
    property var part: null
    radius: 2
    color: "#e5e5ea"
    Rectangle {
        height: parent.height
        radius: 2
        width: parent.width * Math.max(0, Math.min(1, line.part ? line.part.value : 0))
        color: line.part && line.part.color.valid ? line.part.color : "#007aff"
    }
}
