import QtQuick
import Vetron

// The platform's default (bordered) push button at the large control size.
LabelButton {
    id: control

    leftPadding: 16
    rightPadding: 16
    topPadding: 8
    bottomPadding: 8

    background: Rectangle {
        radius: 7
        color: control.down ? Theme.chip : Theme.surface
        border.color: Theme.innerStroke
        border.width: 1
    }
}
