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
    HeadingText {
        Layout.fillWidth: true
        text: root.heading
        font.pixelSize: 19
        wrapMode: Text.NoWrap
    }
    CaptionText {
        Layout.fillWidth: true
        text: root.description
        color: Theme.muted
        wrapMode: Text.Wrap
    }
}
