// A notification shown in the window when the desktop has no notification service: a banner
// that slides in at the top with the title and body, opens the application where it was when
// tapped, and goes by itself after a few seconds (or when swiped up). Banners come one at a
// time, oldest first.
import QtQuick
import QtQuick.Controls

Item {
    id: area
    readonly property var queue: notifications.banners
    readonly property var current: queue.length > 0 ? queue[0] : null
    // The banner on show; the list is a new one at every change, the key stays.
    readonly property int currentKey: current ? current.key : 0
    height: banner.height + 16
    clip: false

    Rectangle {
        id: banner
        objectName: area.current ? "banner:" + area.current.title : "banner"
        visible: area.current !== null
        width: Math.min(area.width - 24, 440)
        height: content.implicitHeight + 24
        x: (area.width - width) / 2
        y: 10
        radius: 14
        color: "#f7f7f7"
        border.color: "#d1d1d6"
        border.width: 1
        Accessible.role: Accessible.AlertMessage
        Accessible.name: area.current ? area.current.title + ". " + area.current.body : ""

        // A thin shadow line under the banner, readable on white and on coloured bars.
        Rectangle {
            z: -1
            anchors.fill: parent
            anchors.topMargin: 3
            anchors.bottomMargin: -3
            radius: parent.radius
            color: "#33000000"
        }
        Rectangle {
            visible: area.current !== null && area.current.late === true
            width: 5
            radius: 2
            color: "#ff9500"
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.margins: 8
        }

        Column {
            id: content
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 12
            anchors.leftMargin: 20
            spacing: 3
            Text {
                textFormat: Text.PlainText
                text: "JOTWELL"
                font.pixelSize: 11
                font.letterSpacing: 0.8
                color: "#8e8e93"
            }
            Text {
                textFormat: Text.PlainText
                width: parent.width
                visible: text !== ""
                text: area.current ? area.current.title : ""
                font.pixelSize: 15
                font.bold: true
                color: "#000000"
                elide: Text.ElideRight
                maximumLineCount: 1
            }
            Text {
                textFormat: Text.PlainText
                objectName: "bannerBody"
                width: parent.width
                text: area.current ? area.current.body : ""
                font.pixelSize: 15
                color: "#1c1c1e"
                wrapMode: Text.WordWrap
                maximumLineCount: 4
                elide: Text.ElideRight
            }
        }

        // A tap opens it; a swipe up puts it away.
        MouseArea {
            anchors.fill: parent
            property real pressY: 0
            onPressed: (mouse) => pressY = mouse.y
            onReleased: (mouse) => {
                if (!area.current)
                    return
                if (pressY - mouse.y > 20)
                    notifications.dismissBanner(area.current.key)
                else if (containsMouse || (mouse.x >= 0 && mouse.x <= width && mouse.y <= height))
                    notifications.activateBanner(area.current.key)
            }
        }

        // Slides in from above for each new banner.
        NumberAnimation on y {
            id: slideIn
            from: -banner.height - 10
            to: 10
            duration: 250
            easing.type: Easing.OutCubic
        }
    }

    Timer {
        id: hide
        interval: notifications.bannerSeconds * 1000
        running: area.current !== null
        onTriggered: if (area.current) notifications.dismissBanner(area.current.key)
    }
    onCurrentKeyChanged: if (currentKey) { slideIn.restart(); hide.restart() }
}
