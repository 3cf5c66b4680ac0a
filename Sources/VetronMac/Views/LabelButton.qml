import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The common ground of the push buttons: a centred one-line label in the system font, half
// transparent when disabled. Each button adds its own padding, label colour and background.
Button {
    id: control

    property color labelColor: Theme.ink

    opacity: enabled ? 1 : 0.5
    font.family: Fonts.system
    font.pixelSize: 14

    contentItem: PlainText {
        text: control.text
        font: control.font
        color: control.labelColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
