import QtQuick
import QtQuick.Layouts
import Vetron

// The account section: the subscription's state and end, the days left and this Mac's name as
// the account portal knows them, or the load's progress and its failure with a retry.
SectionScroll {
    id: root

    required property AppModel model

    ColumnLayout {
        spacing: 16

        SectionHeader {
            Layout.fillWidth: true
            model: root.model
            title: "Подписка"
        }

        ColumnLayout {
            objectName: "accountLoadingBlock"
            visible: !root.model.accountLoaded
            Layout.fillWidth: true
            Layout.topMargin: 8
            spacing: 14

            ProgressIndicator {
                objectName: "accountProgress"
                visible: root.model.busy
                running: visible
                size: 16
            }
            BodyText {
                objectName: "accountMessage"
                Layout.fillWidth: true
                text: root.model.accountMessage
                color: AccountLook.messageColour(root.model.busy)
            }
            ProminentButton {
                objectName: "accountRetryButton"
                visible: !root.model.busy
                text: "Повторить"
                onClicked: root.model.startLoadAccount()
            }
        }

        ColumnLayout {
            objectName: "accountDashboard"
            visible: root.model.accountLoaded
            Layout.fillWidth: true
            spacing: 12

            Rectangle {
                objectName: "accountSummaryCard"
                Layout.fillWidth: true
                implicitHeight: summary.implicitHeight + 32
                radius: 14
                color: Theme.surface
                border.color: Theme.cardStroke
                border.width: 1

                ColumnLayout {
                    id: summary

                    anchors.fill: parent
                    anchors.margins: 16
                    spacing: 6

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8

                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 4

                            PlainText {
                                text: "Статус"
                                color: Theme.faint
                                font.family: Fonts.system
                                font.pixelSize: 12
                            }
                            BodyText {
                                objectName: "accountSubscription"
                                Layout.fillWidth: true
                                text: AccountLook.subscriptionText(root.model.subscription, root.model.hasSubscription)
                                color: Theme.ink
                                font.pixelSize: 15
                                font.weight: Font.DemiBold
                            }
                        }
                        Rectangle {
                            objectName: "accountDaysLeft"
                            visible: daysLeftText.text !== ""
                            implicitWidth: daysLeftText.implicitWidth + 20
                            implicitHeight: daysLeftText.implicitHeight + 8
                            radius: height / 2
                            color: Theme.accentSoft

                            PlainText {
                                id: daysLeftText

                                anchors.centerIn: parent
                                text: AccountLook.daysLeftText(root.model.subscription, root.model.hasSubscription)
                                color: Theme.accent
                                font.family: Fonts.system
                                font.pixelSize: 12
                                font.weight: Font.DemiBold
                            }
                        }
                    }
                    Rectangle {
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        Layout.bottomMargin: 6
                        implicitHeight: 1
                        color: Theme.divider
                    }
                    PlainText {
                        text: "Это устройство"
                        color: Theme.faint
                        font.family: Fonts.system
                        font.pixelSize: 12
                    }
                    BodyText {
                        objectName: "accountDevice"
                        Layout.fillWidth: true
                        text: AccountLook.deviceLine(root.model.device, root.model.hasDevice)
                        color: Theme.ink
                        font.pixelSize: 15
                        font.weight: Font.DemiBold
                    }
                }
            }
            MintButton {
                objectName: "accountPortalButton"
                fullWidth: true
                text: "Открыть личный кабинет"
                onClicked: Qt.openUrlExternally(root.model.portalAppUrl)
            }
            CaptionText {
                Layout.fillWidth: true
                text: "Изменение профиля и удаление данных доступны в личном кабинете."
                color: Theme.muted
                wrapMode: Text.Wrap
            }
        }
    }
}
