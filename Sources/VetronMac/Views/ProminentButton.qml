import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The platform's prominent push button at the large control size, filled with a tint (a state
// colour); greyed out when disabled.
Button {
    id: control

    property color tint: Theme.accent

    leftPadding: 20
    rightPadding: 20
    topPadding: 9
    bottomPadding: 9
    font.family: Fonts.system
    font.pixelSize: 15
    font.weight: Font.DemiBold

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.enabled ? Theme.surface : Theme.faint
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        objectName: "prominentButtonFill"
        radius: 8
        color: !control.enabled ? Theme.switchOff : control.down ? Qt.darker(control.tint, 1.15) : control.tint
    }
}
