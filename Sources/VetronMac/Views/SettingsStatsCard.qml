import QtQuick
import QtQuick.Layouts
import Vetron

// The account's short summary: the subscription line, and once loaded the three usage numbers.
SettingsCard {
    id: card

    required property AppModel model

    spacing: 14

    RowLayout {
        spacing: 8

        Rectangle {
            implicitWidth: 6
            implicitHeight: 6
            radius: 3
            color: Theme.accentLive
        }
        PlainText {
            objectName: "subscriptionLine"
            text: SettingsLook.subscriptionLine(card.model.accountLoaded, card.model.subscription,
                                                card.model.hasSubscription)
            font.family: Fonts.system
            font.pixelSize: 12
            font.weight: Font.Medium
            color: Theme.accent
        }
    }
    Item {
        Layout.fillWidth: true
        visible: card.model.accountLoaded
        implicitHeight: cells.implicitHeight

        Row {
            id: cells

            width: parent.width

            Repeater {
                model: SettingsLook.usageFigures(card.model.usage)

                Item {
                    id: statCell

                    required property usageFigure modelData
                    required property int index

                    width: parent ? parent.width / 3 : 0
                    height: cell.implicitHeight

                    Rectangle {
                        visible: statCell.index > 0
                        y: 2
                        width: 1
                        height: parent.height - 4
                        color: Theme.innerStroke
                    }
                    Column {
                        id: cell

                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: 2

                        PlainText {
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: statCell.modelData.number
                            font.family: Fonts.system
                            font.pixelSize: 24
                            font.weight: Font.DemiBold
                            color: Theme.ink
                        }
                        PlainText {
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: statCell.modelData.label
                            font.family: Fonts.system
                            font.pixelSize: 12
                            color: Theme.muted
                        }
                    }
                }
            }
        }
    }
}
