import QtQuick
import QtQuick.Layouts
import Vetron

// A text with a symbol before it, both in one colour; the symbol sized to the text's font.
RowLayout {
    id: root

    property alias text: label.text
    property alias font: label.font
    property string glyph
    property color color: Theme.ink

    spacing: Math.round(label.font.pixelSize * 0.45)

    Glyph {
        Layout.alignment: Qt.AlignTop
        Layout.topMargin: Math.round((label.font.pixelSize * 1.25 - height) / 2)
        Layout.preferredWidth: Math.round(label.font.pixelSize * 1.05)
        Layout.preferredHeight: Math.round(label.font.pixelSize * 1.05)
        name: root.glyph
        color: root.color
    }
    Text {
        id: label

        Layout.fillWidth: true
        color: root.color
        font.family: Fonts.system
        font.pixelSize: 13
        wrapMode: Text.Wrap
    }
}
