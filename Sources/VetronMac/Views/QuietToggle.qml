import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// A labelled on/off row: the label (with an optional hint below it), a flexible gap, then a
// capsule switch. A tap anywhere on the row, label included, flips the value.
AbstractButton {
    id: control

    property string hint

    checkable: true
    font.family: Fonts.system
    font.pixelSize: 14
    opacity: enabled ? 1 : 0.5

    contentItem: RowLayout {
        spacing: 0

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 3

            PlainText {
                objectName: "quietToggleLabel"
                Layout.fillWidth: true
                text: control.text
                font: control.font
                color: Theme.ink
                wrapMode: Text.Wrap
            }
            BodyText {
                Layout.fillWidth: true
                visible: control.hint.length > 0
                text: control.hint
                font.pixelSize: 12
                color: Theme.hint
            }
        }
        Item {
            Layout.minimumWidth: 12
            Layout.fillWidth: true
        }
        Rectangle {
            objectName: "quietToggleSwitch"
            implicitWidth: 40
            implicitHeight: 22
            radius: height / 2
            color: control.checked ? Theme.accent : Theme.switchOff

            Rectangle {
                x: control.checked ? parent.width - width - 2 : 2
                y: 2
                width: 18
                height: 18
                radius: 9
                color: Theme.surface
            }
        }
    }
}
