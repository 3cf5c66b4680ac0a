import QtQuick
import QtQuick.Layouts
import Vetron

// One numbered step of the explainer: the number badge, the title and text, and the step's
// diagram below them on an inner panel.
Rectangle {
    id: step

    required property int number
    required property string title
    required property string text
    default property alias diagram: panel.data

    Layout.fillWidth: true
    implicitHeight: column.implicitHeight + 32
    radius: 14
    color: Theme.surface
    border.color: Theme.cardStroke
    border.width: 1

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Rectangle {
                Layout.alignment: Qt.AlignTop
                implicitWidth: 24
                implicitHeight: 24
                radius: 12
                color: Theme.accentSoft

                PlainText {
                    anchors.centerIn: parent
                    text: step.number
                    font.family: Fonts.system
                    font.pixelSize: 12
                    font.bold: true
                    color: Theme.accent
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4

                PlainText {
                    Layout.fillWidth: true
                    text: step.title
                    font.family: Fonts.serif
                    font.pixelSize: 18
                    color: Theme.ink
                    wrapMode: Text.Wrap
                }
                BodyText {
                    Layout.fillWidth: true
                    text: step.text
                }
            }
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: panel.implicitHeight + 24
            radius: 10
            color: Theme.innerPanel
            border.color: Theme.divider
            border.width: 1

            ColumnLayout {
                id: panel

                anchors.fill: parent
                anchors.margins: 12
                spacing: 8
            }
        }
    }
}
