import QtQuick
import QtQuick.Controls.Basic
import Vetron

// A header button that opens a section: its symbol on a rounded chip, drawn selected (accent
// symbol on white with a thin outline) while that section is shown.
Button {
    id: control

    required property AppModel model
    required property int section
    required property string symbol
    // The tooltip and the accessibility label.
    required property string label
    readonly property bool selected: ProtectionLook.sectionButtonSelected(model.section, section)

    implicitWidth: 38
    implicitHeight: 34
    padding: 0
    hoverEnabled: true
    ToolTip.visible: hovered
    ToolTip.text: label
    Accessible.name: label

    contentItem: Item {
        Glyph {
            anchors.centerIn: parent
            width: 17
            height: 17
            name: control.symbol
            color: control.selected ? Theme.accent : Theme.chipInk
        }
    }
    background: Rectangle {
        radius: 9
        color: control.selected ? Theme.surface : Theme.chip
        border.width: control.selected ? 1 : 0
        border.color: Theme.cardStroke
    }
}
