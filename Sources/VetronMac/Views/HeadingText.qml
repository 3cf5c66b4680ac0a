import QtQuick
import Vetron

// A heading: the serif system font, bold, in ink, wrapping onto as many lines as it needs. Each
// heading sets its own size.
PlainText {
    font.family: Fonts.serif
    font.bold: true
    color: Theme.ink
    wrapMode: Text.Wrap
}
