import QtQuick
import Vetron

// A text with a symbol before it, both in one colour; the symbol sized to the text's font. Placed
// by hand rather than in a row layout: a row keeps the height a wrapped text had before it
// learned its width, and the next line would then cover the second one.
Item {
    id: root

    property alias text: label.text
    property alias font: label.font
    property string glyph
    property color color: Theme.ink
    readonly property int glyphSize: Math.round(label.font.pixelSize * 1.05)

    implicitWidth: label.x + label.implicitWidth
    implicitHeight: Math.max(symbol.y + symbol.height, label.implicitHeight)

    Glyph {
        id: symbol

        y: Math.round((label.font.pixelSize * 1.25 - height) / 2)
        width: root.glyphSize
        height: root.glyphSize
        name: root.glyph
        color: root.color
    }
    BodyText {
        id: label

        x: root.glyphSize + Math.round(label.font.pixelSize * 0.45)
        width: root.width - x
        color: root.color
    }
}
