// One view of the tree, drawn by its kind (see ViewParts.h). In a row it sizes itself for the
// row's layout; elsewhere it fills the box its parent gives it.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Loader {
    id: partView
    property var part: ({})
    property bool inRow: false
    readonly property string kind: part.kind || ""
    readonly property bool primary: part.primary === true
    // In a row: a field at rest was dragged to the left, which is the row's swipe.
    signal swipedLeft()
    // A table's rows draw their fields as text until one is tapped or given the keyboard: a
    // text field costs several times a text to make, and a window makes a screenful of rows
    // before its first frame.
    property bool lazyField: false
    readonly property bool restingField: lazyField && inRow && kind === "field"
    property bool tappedField: false
    property point tapPoint
    readonly property bool fieldLive: tappedField
                                      || (restingField && bridge.focusedHandle === (part.handle || 0))

    Layout.fillWidth: inRow && (primary || kind === "field" || kind === "textView")
    Layout.preferredWidth: !inRow ? -1
                         : kind === "image" ? Math.min(part.w || 24, 32)
                         : kind === "button" && part.image ? Math.max(32, Math.min(part.w || 32, 44))
                         : item ? item.implicitWidth : 0
    Layout.preferredHeight: !inRow ? -1
                          : kind === "image" ? Math.min(part.h || 24, 32)
                          : kind === "button" && part.image ? Math.max(32, Math.min(part.h || 32, 44))
                          : item ? item.implicitHeight : 0
    Layout.alignment: Qt.AlignVCenter

    sourceComponent: kind === "label" ? label
                   : kind === "button" ? (part.image ? imageButton : textButton)
                   : kind === "field" ? (restingField && !fieldLive ? fieldAtRest : field)
                   : kind === "textView" ? textView
                   : kind === "image" ? image
                   : kind === "box" ? box
                   : kind === "progress" ? progress
                   : kind === "datePicker" ? datePicker
                   : null

    Component {
        id: label
        Text {
            textFormat: Text.PlainText
            text: partView.part.text || ""
            color: partView.part.color && partView.part.color.valid ? partView.part.color : "#1c1c1e"
            font.pixelSize: Math.max(11, partView.part.pointSize || 17)
            font.bold: partView.part.bold === true
            elide: partView.inRow ? Text.ElideRight : Text.ElideNone
            wrapMode: partView.inRow ? Text.NoWrap : Text.WordWrap
            // A row is one line high: text of several lines shows its first, elided.
            maximumLineCount: partView.inRow ? 1 : 2147483647
            horizontalAlignment: partView.part.align === "center" ? Text.AlignHCenter
                               : partView.part.align === "right" ? Text.AlignRight : Text.AlignLeft
            verticalAlignment: Text.AlignVCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Component {
        id: textButton
        Button {
            text: partView.part.text || ""
            enabled: partView.part.enabled !== false
            font.pixelSize: 17
            objectName: "button:" + text
            Accessible.name: text
            onClicked: bridge.tapButton(partView.part.handle)
        }
    }
    Component {
        id: imageButton
        // A plain image with a tap handler: rows show one per row (an item's tick), and a
        // control costs several times as much to make.
        Image {
            objectName: "imageButton:" + (partView.part.accessibleName || partView.part.text || "")
            enabled: partView.part.enabled !== false
            source: partView.part.image || ""
            fillMode: Image.PreserveAspectFit
            smooth: true
            opacity: tap.pressed ? 0.5 : 1.0
            Accessible.role: Accessible.Button
            Accessible.name: partView.part.accessibleName || partView.part.text || "Button"
            Accessible.onPressAction: if (enabled) bridge.tapButton(partView.part.handle)
            TapHandler {
                id: tap
                onTapped: bridge.tapButton(partView.part.handle)
            }
        }
    }
    Component {
        id: fieldAtRest
        // Drawn where the text field draws its text (the Basic style's padding), in its colours.
        Text {
            textFormat: Text.PlainText
            objectName: "field:" + (partView.part.placeholder || "")
            readonly property bool empty: (partView.part.text || "") === ""
            text: empty ? partView.part.placeholder || "" : partView.part.text
            color: empty ? Qt.rgba(0, 0, 0, 0.5) : "#000000"
            font.pixelSize: 17
            elide: Text.ElideRight
            maximumLineCount: 1
            verticalAlignment: Text.AlignVCenter
            leftPadding: 4
            rightPadding: 6
            topPadding: 6
            bottomPadding: 6
            Accessible.role: Accessible.EditableText
            Accessible.name: partView.part.accessibleName || text
            Rectangle {
                visible: partView.part.rounded === true
                anchors.fill: parent
                z: -1
                radius: 6
                color: "#f2f2f7"
            }
            DragHandler {
                target: null
                enabled: partView.part.enabled !== false
                yAxis.enabled: false
                onActiveTranslationChanged: if (active && activeTranslation.x < -32) partView.swipedLeft()
            }
            TapHandler {
                enabled: partView.part.enabled !== false
                onTapped: (eventPoint) => {
                    // The field replaces this text after the tap is delivered.
                    partView.tapPoint = eventPoint.position
                    Qt.callLater(() => { partView.tappedField = true })
                }
            }
        }
    }
    Component {
        id: field
        TextField {
            id: input
            readonly property int handle: partView.part.handle || 0
            text: partView.part.text || ""
            placeholderText: partView.part.placeholder || ""
            font.pixelSize: 17
            enabled: partView.part.enabled !== false
            // In a row, a drag across a field that is not being edited is the row's swipe, not
            // a selection: the field takes the keyboard on a tap (a press let go where it
            // began), with the cursor where it was tapped.
            selectByMouse: activeFocus || !partView.inRow
            activeFocusOnPress: !partView.inRow
            DragHandler {
                target: null
                enabled: partView.inRow && !input.activeFocus
                yAxis.enabled: false
                onActiveTranslationChanged: if (active && activeTranslation.x < -32) partView.swipedLeft()
            }
            TapHandler {
                enabled: partView.inRow && !input.activeFocus
                onTapped: (eventPoint) => {
                    input.forceActiveFocus()
                    input.cursorPosition = input.positionAt(eventPoint.position.x, eventPoint.position.y)
                }
            }
            objectName: "field:" + placeholderText
            Accessible.name: partView.part.accessibleName || (text !== "" ? text : placeholderText)
            // The light rounded look while editing; plain text otherwise.
            background: Rectangle {
                radius: 6
                color: input.activeFocus || partView.part.rounded ? "#f2f2f7" : "transparent"
                border.color: input.activeFocus ? "#c7c7cc" : "transparent"
            }
            onTextEdited: bridge.editField(handle, text)
            onAccepted: bridge.pressReturn(handle)
            onActiveFocusChanged: {
                if (activeFocus) {
                    bridge.focusField(handle)
                } else {
                    bridge.blurField(handle)
                    // Back to text at rest, after this signal is done with the field.
                    if (partView.restingField)
                        Qt.callLater(() => { partView.tappedField = false })
                }
            }
            Component.onCompleted: {
                if (partView.tappedField) {
                    // Made by a tap on the text at rest: the tap goes on as this field's own.
                    forceActiveFocus()
                    cursorPosition = positionAt(partView.tapPoint.x, partView.tapPoint.y)
                } else if (bridge.focusedHandle === handle) {
                    forceActiveFocus()
                }
            }
            Connections {
                target: bridge
                function onFocusChanged() {
                    if (bridge.focusedHandle === input.handle && !input.activeFocus)
                        input.forceActiveFocus()
                }
            }
        }
    }
    Component {
        id: textView
        TextArea {
            id: area
            readonly property int handle: partView.part.handle || 0
            text: partView.part.text || ""
            readOnly: partView.part.editable === false
            wrapMode: TextEdit.Wrap
            font.pixelSize: 17
            onTextChanged: if (activeFocus && text !== bridge.fieldText(handle)) bridge.editField(handle, text)
            onActiveFocusChanged: activeFocus ? bridge.focusField(handle) : bridge.blurField(handle)
            Component.onCompleted: if (bridge.focusedHandle === handle) forceActiveFocus()
        }
    }
    Component {
        id: image
        Image {
            source: partView.part.image || ""
            fillMode: Image.PreserveAspectFit
            smooth: true
        }
    }
    Component {
        id: box
        Rectangle {
            color: partView.part.color || "transparent"
            radius: partView.part.radius || 0
        }
    }
    Component {
        id: progress
        ProgressBar {
            from: 0
            to: 1
            value: partView.part.value || 0
        }
    }
    Component {
        id: datePicker
        DateTimePicker { part: partView.part }
    }
}
