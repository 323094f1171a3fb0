// What a table row's cell shows (TableRow.qml), made for speed: a window makes a screenful of
// rows before its first frame, and every item made per row counts.
//
// Rows come in one shape: an image or image button at the leading edge, the primary text (a
// label or a field) taking the room left, a label at the trailing edge, each optional, and a
// progress bar under them (an item's row: tick and field; a list's row: icon, name, counts and
// progress). That shape is drawn by three plain items made once, with no handler of their own:
// the row's mouse area takes the taps and hands them to tapAt(), which tells what is under
// them (the button is tapped, the field takes the keyboard, anything else is the row's). A
// field at rest is drawn as text where the text field draws it, in its colours; the text
// field itself (PartView.qml) takes its place while it is tapped into or holds the keyboard.
// A cell of any other shape is drawn by CellContent.qml, views with handlers of their own.
import QtQuick

Item {
    id: cell
    property var parts: []
    // A field being edited was dragged to the left (a swipe on the row).
    signal swipedLeft()
    // The button under a press, drawn faded.
    property bool buttonPressed: false
    // A tap made the field live, and where in it the tap was.
    property bool fieldTapped: false
    property point tapPoint

    // The views by place: {lead, main, trail, progress} (null for none), or null when the cell
    // is not of the one shape.
    readonly property var shape: {
        let progress = null;
        const views = [];
        for (let i = 0; i < parts.length; ++i) {
            if (parts[i].kind === "progress")
                progress = parts[i];
            else
                views.push(parts[i]);
        }
        views.sort((a, b) => a.x - b.x);
        const leads = (p) => p.kind === "image" || (p.kind === "button" && !!p.image);
        let at = 0;
        const lead = at < views.length && leads(views[at]) ? views[at++] : null;
        const main = at < views.length && (views[at].kind === "label" || views[at].kind === "field")
                   ? views[at++] : null;
        const trail = main && at < views.length && views[at].kind === "label" ? views[at++] : null;
        return at === views.length ? {lead, main, trail, progress} : null;
    }
    readonly property var lead: shape ? shape.lead : null
    readonly property var main: shape ? shape.main : null
    readonly property var trail: shape ? shape.trail : null
    readonly property var progress: shape ? shape.progress : null
    readonly property bool mainIsField: main !== null && main.kind === "field"
    readonly property bool mainIsEmpty: mainIsField && (main.text || "") === ""
    readonly property bool leadIsButton: lead !== null && lead.kind === "button"
                                         && lead.enabled !== false
    readonly property bool fieldLive: mainIsField && main.handle > 0
                                      && (fieldTapped || bridge.focusedHandle === main.handle)

    function onButton(x) {
        return leadIsButton && x >= leadImage.x && x < leadImage.x + leadImage.width;
    }
    function pressAt(x) {
        buttonPressed = onButton(x);
    }
    // True if the tap at (x, y), in this cell, was the button's or the field's.
    function tapAt(x, y) {
        if (onButton(x)) {
            bridge.tapButton(lead.handle);
            return true;
        }
        if (mainIsField && main.enabled !== false && x >= mainText.x
                && x < mainText.x + mainText.width) {
            if (!fieldLive) {
                tapPoint = mapToItem(mainText, x, y);
                fieldTapped = true;
            }
            return true;
        }
        return false;
    }

    // Where the views are centred (a list's row leaves room for its bar under them).
    readonly property real middle: height / 2 - (progress ? 4 : 0)

    Image {
        id: leadImage
        visible: cell.lead !== null
        readonly property bool isButton: cell.lead !== null && cell.lead.kind === "button"
        x: 16
        width: !visible ? 0 : isButton ? Math.max(32, Math.min(cell.lead.w || 32, 44))
                                       : Math.min(cell.lead.w || 24, 32)
        height: !visible ? 0 : isButton ? Math.max(32, Math.min(cell.lead.h || 32, 44))
                                        : Math.min(cell.lead.h || 24, 32)
        y: Math.round(cell.middle - height / 2)
        source: visible ? cell.lead.image : ""
        fillMode: Image.PreserveAspectFit
        smooth: true
        opacity: cell.buttonPressed ? 0.5 : 1.0
        objectName: isButton ? "imageButton:" + (cell.lead.accessibleName || cell.lead.text || "") : ""
        Accessible.role: isButton ? Accessible.Button : Accessible.Graphic
        Accessible.name: visible ? cell.lead.accessibleName || cell.lead.text || (isButton ? "Button" : "") : ""
        Accessible.onPressAction: if (cell.leadIsButton) bridge.tapButton(cell.lead.handle)
    }
    Text {
        id: mainText
        visible: cell.main !== null
        x: leadImage.visible ? leadImage.x + leadImage.width + 12 : 16
        width: (trailText.visible ? trailText.x - 12 : cell.width - 16) - x
        height: implicitHeight
        y: Math.round(cell.middle - height / 2)
        // While live, the text field inside carries the field's name and draws the text.
        objectName: cell.mainIsField && !cell.fieldLive ? "field:" + (cell.main.placeholder || "") : ""
        textFormat: Text.PlainText
        text: !visible || cell.fieldLive ? ""
            : cell.mainIsEmpty ? cell.main.placeholder || "" : cell.main.text || ""
        color: cell.mainIsField ? (cell.mainIsEmpty ? Qt.rgba(0, 0, 0, 0.5) : "#000000")
             : visible && cell.main.color && cell.main.color.valid ? cell.main.color : "#1c1c1e"
        font.pixelSize: cell.mainIsField || !visible ? 17 : Math.max(11, cell.main.pointSize || 17)
        font.bold: visible && cell.main.bold === true
        elide: Text.ElideRight
        maximumLineCount: 1
        verticalAlignment: Text.AlignVCenter
        // Where the text field draws its text (the Basic style's padding).
        leftPadding: cell.mainIsField ? 4 : 0
        rightPadding: cell.mainIsField ? 6 : 0
        topPadding: cell.mainIsField ? 6 : 0
        bottomPadding: cell.mainIsField ? 6 : 0
        Accessible.role: cell.mainIsField ? Accessible.EditableText : Accessible.StaticText
        Accessible.name: visible ? cell.main.accessibleName || text : ""
        Accessible.onPressAction: if (cell.mainIsField && cell.main.enabled !== false)
                                      bridge.focusField(cell.main.handle)
        Loader {
            anchors.fill: parent
            active: cell.fieldLive
            sourceComponent: PartView {
                part: cell.main
                inRow: true
                lazyField: true
                tappedField: cell.fieldTapped
                tapPoint: cell.tapPoint
                onSwipedLeft: cell.swipedLeft()
                // Back to text once the field lets the keyboard go.
                onTappedFieldChanged: if (!tappedField) cell.fieldTapped = false
            }
        }
    }
    Text {
        id: trailText
        visible: cell.trail !== null
        x: Math.round(cell.width - 16 - width)
        width: visible ? Math.ceil(implicitWidth) : 0
        y: Math.round(cell.middle - height / 2)
        textFormat: Text.PlainText
        text: visible ? cell.trail.text || "" : ""
        color: visible && cell.trail.color && cell.trail.color.valid ? cell.trail.color : "#1c1c1e"
        font.pixelSize: visible ? Math.max(11, cell.trail.pointSize || 17) : 17
        font.bold: visible && cell.trail.bold === true
        maximumLineCount: 1
        verticalAlignment: Text.AlignVCenter
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    // Made only for a cell with a progress bar (a list's row).
    Loader {
        active: cell.progress !== null
        x: 52
        width: cell.width - 16 - x
        y: cell.middle + Math.max(mainText.height, leadImage.height) / 2 + 6
        height: 4
        sourceComponent: ProgressLine { part: cell.progress }
    }
    // A cell of another shape.
    Loader {
        anchors.fill: parent
        active: cell.shape === null
        sourceComponent: CellContent {
            parts: cell.parts
            lazyFields: true
            onSwipedLeft: cell.swipedLeft()
        }
    }
}
