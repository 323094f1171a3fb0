// A date picker drawn as wheels: the day, the hour and the minute (as its mode asks), on a
// white card with the chosen row marked across them. Spinning a wheel picks the new date once
// the wheel comes to rest, through the same call a test makes (bridge.pickDate); the wheels
// follow the date the picker holds.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: picker
    property var part: ({})
    readonly property var date: part.date || new Date()
    readonly property string mode: part.mode || "dateAndTime"
    readonly property bool showsDay: mode !== "time"
    readonly property bool showsTime: mode !== "date"
    readonly property int rowHeight: 40
    readonly property int rows: 5

    objectName: "datePicker"
    implicitWidth: wheels.implicitWidth + 32
    implicitHeight: rowHeight * rows + 16
    radius: 12
    color: "#ffffff"

    // The first day on the day wheel: the minimum's, else the earlier of today and the chosen
    // day; a year of days follows it.
    function startOfDay(d) { return new Date(d.getFullYear(), d.getMonth(), d.getDate()) }
    readonly property var firstDay: {
        const chosen = startOfDay(date)
        if (part.minimum)
            return startOfDay(part.minimum)
        const today = startOfDay(new Date())
        return chosen < today ? chosen : today
    }
    readonly property int dayCount: 366 + Math.max(0, dayIndexOf(date))
    function dayAt(index) {
        return new Date(firstDay.getFullYear(), firstDay.getMonth(), firstDay.getDate() + index)
    }
    function dayIndexOf(d) {
        // Whole days between local midnights; rounding absorbs a daylight-saving hour.
        return Math.round((startOfDay(d).getTime() - firstDay.getTime()) / 86400000)
    }

    // Set while the wheels are being turned to the date (not a person's choice).
    property bool following: true

    // The wheels at rest make the date; seconds stay as they were.
    function pick() {
        if (following || dayWheel.moving || hourWheel.moving || minuteWheel.moving)
            return
        const day = showsDay ? dayAt(dayWheel.currentIndex) : startOfDay(date)
        const picked = new Date(day.getFullYear(), day.getMonth(), day.getDate(),
                                showsTime ? hourWheel.currentIndex : date.getHours(),
                                showsTime ? minuteWheel.currentIndex : date.getMinutes(),
                                date.getSeconds(), date.getMilliseconds())
        if (picked.getTime() !== date.getTime())
            bridge.pickDate(part.handle, picked)
    }
    // The wheels follow the date the picker holds (set in code, or stopped at the minimum).
    function follow() {
        following = true
        const wanted = [[dayWheel, dayIndexOf(date)], [hourWheel, date.getHours()],
                        [minuteWheel, date.getMinutes()]]
        for (const [wheel, index] of wanted) {
            if (!wheel.moving && wheel.currentIndex !== index)
                wheel.currentIndex = index
        }
        following = false
    }
    onDateChanged: follow()
    Component.onCompleted: follow()

    // The chosen row, across all wheels.
    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 8
        height: picker.rowHeight
        radius: 8
        color: "#eeeef0"
    }

    // One wheel; it tells when it has come to rest.
    component Wheel: Tumbler {
        id: wheel
        property var label: (index) => String(index)
        property int rows: 5
        property int rowHeight: 40
        signal rested()
        height: rowHeight * rows
        visibleItemCount: rows
        focusPolicy: Qt.StrongFocus
        // Set by a person's arrow key; the wheel itself turns on it.
        property bool keyed: false
        // A drag or flick counts once the wheel stops; an arrow key at once. Changes made to
        // follow the date (which the wheel may apply a moment later) are not a choice.
        onMovingChanged: if (!moving) rested()
        onCurrentIndexChanged: if (keyed) { keyed = false; rested() }
        Keys.onPressed: (event) => {
            if (event.key === Qt.Key_Up || event.key === Qt.Key_Down)
                keyed = true
            event.accepted = false
        }
        // The wheel under the pointer takes the keys (its content would keep the press).
        MouseArea {
            anchors.fill: parent
            z: 1
            onPressed: (mouse) => { wheel.forceActiveFocus(); mouse.accepted = false }
        }
        background: Rectangle {
            color: "transparent"
            radius: 8
            border.width: wheel.activeFocus ? 2 : 0
            border.color: "#007aff"
        }
        delegate: Component {
            Text {
                textFormat: Text.PlainText
                required property int index
                text: wheel.label(index)
                font.pixelSize: 21
                color: "#1c1c1e"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                opacity: 1.0 - Math.abs(Tumbler.displacement) / (wheel.rows / 2 + 0.5)
            }
        }
    }

    Row {
        id: wheels
        anchors.centerIn: parent
        spacing: 4
        Wheel {
            id: dayWheel
            objectName: "dayWheel"
            rows: picker.rows
            rowHeight: picker.rowHeight
            onRested: picker.pick()
            visible: picker.showsDay
            width: 170
            wrap: false
            model: picker.dayCount
            label: (index) => picker.dayAt(index).toLocaleDateString(Qt.locale(),
                       picker.dayAt(index).getFullYear() === new Date().getFullYear()
                       ? "ddd d MMM" : "d MMM yyyy")
            Accessible.name: "Day"
        }
        Wheel {
            id: hourWheel
            objectName: "hourWheel"
            rows: picker.rows
            rowHeight: picker.rowHeight
            onRested: picker.pick()
            visible: picker.showsTime
            width: 64
            model: 24
            label: (index) => (index < 10 ? "0" : "") + index
            Accessible.name: "Hour"
        }
        Text {
            textFormat: Text.PlainText
            visible: picker.showsTime
            height: picker.rowHeight * picker.rows
            text: ":"
            font.pixelSize: 21
            font.bold: true
            color: "#1c1c1e"
            verticalAlignment: Text.AlignVCenter
        }
        Wheel {
            id: minuteWheel
            objectName: "minuteWheel"
            rows: picker.rows
            rowHeight: picker.rowHeight
            onRested: picker.pick()
            visible: picker.showsTime
            width: 64
            model: 60
            label: (index) => (index < 10 ? "0" : "") + index
            Accessible.name: "Minute"
        }
    }
}
