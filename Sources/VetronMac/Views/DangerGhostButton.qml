import QtQuick
import QtQuick.Controls.Basic
import Vetron

// A destructive action drawn quietly: danger-coloured label, a soft fill only while pressed.
Button {
    id: control

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
        color: Theme.danger
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 9
        color: control.down ? Theme.dangerSoft : "transparent"
    }
}
