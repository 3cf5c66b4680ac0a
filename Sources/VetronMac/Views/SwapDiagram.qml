import QtQuick
import QtQuick.Layouts
import Vetron

// The real values stay on the computer; Claude sees the placeholders.
ColumnLayout {
    Layout.fillWidth: true
    spacing: 8

    component Chip: Rectangle {
        id: chip

        property alias text: label.text
        property alias textColor: label.color
        property bool monospaced: false

        Layout.fillWidth: true
        implicitHeight: 20
        radius: 5

        DiagramText {
            id: label

            anchors.fill: parent
            anchors.leftMargin: 6
            anchors.rightMargin: 6
            verticalAlignment: Text.AlignVCenter
            font.family: chip.monospaced ? Fonts.monospaced : Fonts.system
            elide: Text.ElideRight
        }
    }
    component DataCard: Rectangle {
        id: card

        property string title
        property var lines
        property color ink
        property color fill
        property bool monospaced: false

        // Equal shares of the row, and as tall as the taller card.
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.fillHeight: true
        implicitHeight: cardLines.implicitHeight + 16
        radius: 8
        color: Theme.surface
        border.color: Theme.innerStroke

        ColumnLayout {
            id: cardLines

            anchors.fill: parent
            anchors.margins: 8
            spacing: 4

            DiagramText {
                text: card.title
                font.weight: Font.DemiBold
                color: Theme.ink
            }
            Repeater {
                model: card.lines.map(line => ({ text: line, ink: card.ink, fill: card.fill, mono: card.monospaced }))

                Chip {
                    required property var modelData

                    text: modelData.text
                    textColor: modelData.ink
                    color: modelData.fill
                    monospaced: modelData.mono
                }
            }
            Item {
                Layout.fillHeight: true
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 6

        DataCard {
            title: "У вас (настоящее)"
            lines: DiagramSamples.realValues
            ink: Theme.copper
            fill: Theme.copperSoft
        }
        Column {
            spacing: 6

            CaptionText {
                text: "запрос →"
                color: Theme.faint
            }
            CaptionText {
                text: "← ответ"
                color: Theme.faint
            }
        }
        DataCard {
            title: "У Claude (обезличено)"
            lines: DiagramSamples.placeholders
            ink: Theme.accent
            fill: Theme.accentSoft
            monospaced: true
        }
    }
    DiagramCaption {
        text: "Claude никогда не видит настоящие данные."
    }
}
