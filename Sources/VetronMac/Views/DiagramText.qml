import QtQuick
import Vetron

// The lines inside the explainer's diagrams: the system font at 11 points.
PlainText {
    font.family: Fonts.system
    font.pixelSize: 11
}
