import QtQuick
import Vetron

// Body text: the system font at 13 points in the muted colour, wrapping onto as many lines as it
// needs. A note or a message sets its own size or colour.
PlainText {
    font.family: Fonts.system
    font.pixelSize: 13
    color: Theme.muted
    wrapMode: Text.Wrap
}
