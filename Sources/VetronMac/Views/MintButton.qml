import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// The brand's soft button: accent label on a mint rounded rectangle, darker while pressed.
Button {
    id: control

    property bool fullWidth: false

    Layout.fillWidth: fullWidth
    leftPadding: 18
    rightPadding: 18
    topPadding: 11
    bottomPadding: 11
    opacity: enabled ? 1 : 0.5
    font.family: Fonts.system
    font.pixelSize: 14
    font.weight: Font.DemiBold

    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.accent
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        radius: 9
        color: control.down ? Theme.accentSoftHover : Theme.accentSoft
    }
}
