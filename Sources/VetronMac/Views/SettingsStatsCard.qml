import QtQuick
import QtQuick.Layouts
import Vetron

// The account's short summary: the subscription line, and once loaded the three usage numbers.
SettingsCard {
    id: card

    required property var model

    spacing: 14

    RowLayout {
        spacing: 8

        Rectangle {
            implicitWidth: 6
            implicitHeight: 6
            radius: 3
            color: Theme.accentLive
        }
        Text {
            objectName: "subscriptionLine"
            text: SettingsLooks.subscriptionLine(card.model.accountLoaded, card.model.subscription)
            font.family: Fonts.system
            font.pixelSize: 12
            font.weight: Font.Medium
            color: Theme.accent
        }
    }
    RowLayout {
        id: cells

        Layout.fillWidth: true
        visible: card.model.accountLoaded
        spacing: 0

        Repeater {
            model: [
                { number: card.model.usage.requests, label: "запросов" },
                { number: card.model.usage.maskedEntities, label: "замен" },
                { number: card.model.usage.blocked, label: "остановлено" }
            ]

            RowLayout {
                required property var modelData
                required property int index

                Layout.preferredWidth: cells.width / 3
                spacing: 0

                Rectangle {
                    visible: index > 0
                    Layout.fillHeight: true
                    Layout.topMargin: 2
                    Layout.bottomMargin: 2
                    implicitWidth: 1
                    color: Theme.innerStroke
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2

                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: String(modelData.number)
                        font.family: Fonts.system
                        font.pixelSize: 24
                        font.weight: Font.DemiBold
                        color: Theme.ink
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: modelData.label
                        font.family: Fonts.system
                        font.pixelSize: 12
                        color: Theme.muted
                    }
                }
            }
        }
    }
}
