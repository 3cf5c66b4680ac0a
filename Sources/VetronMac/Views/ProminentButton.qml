import QtQuick
import Vetron

// The platform's prominent push button at the large control size, filled with a tint (a state
// colour); greyed out when disabled.
LabelButton {
    id: control

    property color tint: Theme.accent

    leftPadding: 20
    rightPadding: 20
    topPadding: 9
    bottomPadding: 9
    opacity: 1
    labelColor: enabled ? Theme.surface : Theme.faint
    font.pixelSize: 15
    font.weight: Font.DemiBold

    background: Rectangle {
        objectName: "prominentButtonFill"
        radius: 8
        color: !control.enabled ? Theme.switchOff : control.down ? Qt.darker(control.tint, 1.15) : control.tint
    }
}
