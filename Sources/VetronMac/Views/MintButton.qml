import QtQuick
import QtQuick.Layouts
import Vetron

// The brand's soft button: accent label on a mint rounded rectangle, darker while pressed.
LabelButton {
    id: control

    property bool fullWidth: false

    Layout.fillWidth: fullWidth
    leftPadding: 18
    rightPadding: 18
    topPadding: 11
    bottomPadding: 11
    labelColor: Theme.accent
    font.weight: Font.DemiBold

    background: Rectangle {
        radius: 9
        color: control.down ? Theme.accentSoftHover : Theme.accentSoft
    }
}
