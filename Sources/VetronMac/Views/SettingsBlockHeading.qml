import QtQuick
import QtQuick.Layouts
import Vetron

// The start of a settings block: a divider, the block's serif heading and its description.
ColumnLayout {
    id: root

    required property string heading
    required property string description

    Layout.fillWidth: true
    spacing: 8

    Rectangle {
        Layout.fillWidth: true
        Layout.topMargin: 4
        Layout.bottomMargin: 4
        implicitHeight: 1
        color: Theme.divider
    }
    PlainText {
        Layout.fillWidth: true
        text: root.heading
        font.family: Fonts.serif
        font.pixelSize: 19
        font.bold: true
        color: Theme.ink
    }
    PlainText {
        Layout.fillWidth: true
        text: root.description
        font.family: Fonts.system
        font.pixelSize: 10
        color: Theme.muted
        wrapMode: Text.Wrap
    }
}
