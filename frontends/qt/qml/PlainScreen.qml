// A screen of plain views (the intro, the placeholder, the reminder screen...): its views one
// under the other in the middle of the screen, at most a phone's width wide.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Rectangle {
    id: plain
    property QtObject screen: null
    color: screen ? screen.background : "#ffffff"

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(plain.width - 40, 420)
        spacing: 16
        Repeater {
            model: plain.screen ? plain.screen.views.length : 0
            delegate: PartView {
                required property int index
                part: plain.screen.views[index] || ({})
                Layout.fillWidth: kind !== "button" && kind !== "image"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: kind === "button" || kind === "image" ? Math.min(part.w || 200, plain.width - 40) : -1
                Layout.preferredHeight: kind === "label" ? -1 : kind === "field" ? 44 : Math.max(44, Math.min(part.h || 44, 300))
            }
        }
    }
}
