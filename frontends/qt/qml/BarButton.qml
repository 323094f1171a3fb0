// A button of a bar: its label (or the platform's sign for a system item) in the bar's tint.
// Spaces take room and nothing else.
import QtQuick
import QtQuick.Controls

AbstractButton {
    id: button
    property var item: ({})
    property color tint: "#007aff"
    property real spaceWidth: 0
    property real maxWidth: 200
    signal tapped()

    readonly property bool isSpace: item.kind === "flexibleSpace" || item.kind === "fixedSpace"
    enabled: !isSpace && item.enabled !== false
    implicitWidth: isSpace ? (item.kind === "fixedSpace" ? 8 : spaceWidth)
                           : Math.min(maxWidth, Math.max(44, label.implicitWidth + 16))
    implicitHeight: 44
    focusPolicy: Qt.NoFocus
    objectName: "barButton:" + (item.kind === "back" ? "‹ " : "") + (item.label || "")
    Accessible.role: Accessible.Button
    Accessible.name: item.label || ""
    // A space is no control: a screen reader passes over it.
    Accessible.ignored: isSpace
    onClicked: tapped()

    contentItem: Text {
        textFormat: Text.PlainText
        id: label
        visible: !button.isSpace
        text: button.item.kind === "add" ? "+"
            : button.item.kind === "back" ? "‹ " + (button.item.label || "")
            : button.item.kind === "share" ? "⇪"
            : (button.item.label || "")
        color: button.tint
        opacity: button.enabled ? (button.pressed ? 0.4 : 1.0) : 0.35
        font.pixelSize: button.item.kind === "add" || button.item.kind === "share" ? 28 : 17
        font.bold: button.item.bold === true
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Item {}
}
