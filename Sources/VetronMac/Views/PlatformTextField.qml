import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The platform's text field at the large control size; the outline turns accent on focus.
TextField {
    id: control

    leftPadding: 10
    rightPadding: 10
    topPadding: 8
    bottomPadding: 8
    opacity: enabled ? 1 : 0.5
    font.family: Fonts.system
    font.pixelSize: 14
    color: Theme.ink
    placeholderTextColor: Theme.hint
    selectionColor: Theme.accentSoftHover
    selectedTextColor: Theme.ink

    background: Rectangle {
        radius: 7
        color: Theme.surface
        border.color: control.activeFocus ? Theme.accent : Theme.innerStroke
        border.width: control.activeFocus ? 2 : 1
    }
}
