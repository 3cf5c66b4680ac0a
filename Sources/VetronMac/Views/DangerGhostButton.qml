import QtQuick
import Vetron

// A destructive action drawn quietly: danger-coloured label, a soft fill only while pressed.
LabelButton {
    id: control

    leftPadding: 18
    rightPadding: 18
    topPadding: 11
    bottomPadding: 11
    labelColor: Theme.danger
    font.weight: Font.DemiBold

    background: Rectangle {
        radius: 9
        color: control.down ? Theme.dangerSoft : "transparent"
    }
}
