import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The platform's default (bordered) push button at the large control size.
Button {
    id: control

    leftPadding: 16
    rightPadding: 16
    topPadding: 8
    bottomPadding: 8
    opacity: enabled ? 1 : 0.5
    font.family: Fonts.system
    font.pixelSize: 14

    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.ink
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        radius: 7
        color: control.down ? Theme.chip : Theme.surface
        border.color: Theme.innerStroke
        border.width: 1
    }
}
