import QtQuick
import Vetron

// Text in the platform's caption style: the system font at 10 points.
PlainText {
    font.family: Fonts.system
    font.pixelSize: 10
}
