import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// The updates section: the installed version and one card that follows the model's update
// state. Installing a release goes through the user agreement, shown as a sheet (UpdateScreen).
Item {
    id: root

    required property AppModel model
    readonly property var updateState: model.updateState
    readonly property int card: UpdateLook.card(updateState)

    implicitWidth: scroll.implicitWidth
    implicitHeight: scroll.implicitHeight

    UpdateScreen {
        id: screen

        model: root.model
    }
    SectionScroll {
        id: scroll

        anchors.fill: parent

        ColumnLayout {
            spacing: 18

            SectionHeader {
                Layout.fillWidth: true
                model: root.model
                title: "Обновления"
            }
            BodyText {
                objectName: "updateInstalledVersion"
                Layout.fillWidth: true
                text: UpdateLook.installedVersionText(root.model.currentVersion)
            }

            InsetCard {
                objectName: "updateActionCard"
                visible: root.card === UpdateLook.ActionCard
                Layout.fillWidth: true

                ColumnLayout {
                    anchors.fill: parent
                    spacing: 12

                    HeadingText {
                        Layout.fillWidth: true
                        text: "Проверить наличие новой версии"
                        font.pixelSize: 19
                    }
                    BodyText {
                        Layout.fillWidth: true
                        text: "Ветрон проверит официальный сервер обновлений."
                    }
                    ProminentButton {
                        objectName: "updateCheckButton"
                        text: UpdateLook.checkLabel(root.updateState)
                        onClicked: root.model.startCheckUpdates()
                    }
                }
            }

            RowLayout {
                objectName: "updateCheckingRow"
                visible: root.card === UpdateLook.ProgressCard
                Layout.topMargin: 24
                Layout.bottomMargin: 24
                spacing: 12

                ProgressIndicator {
                    running: parent.visible
                    size: 16
                }
                PlainText {
                    text: "Проверяем обновления…"
                    color: Theme.ink
                    font.family: Fonts.system
                    font.pixelSize: 13
                }
            }

            InsetCard {
                objectName: "updateStatusCard"
                visible: root.card === UpdateLook.StatusCard
                Layout.fillWidth: true

                RowLayout {
                    anchors.fill: parent
                    spacing: 10

                    Glyph {
                        objectName: "updateStatusSymbol"
                        Layout.alignment: Qt.AlignTop
                        Layout.preferredWidth: 22
                        Layout.preferredHeight: 22
                        name: UpdateLook.statusSymbol(root.updateState)
                        color: UpdateLook.statusTint(root.updateState)
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        Layout.alignment: Qt.AlignTop
                        spacing: 5

                        HeadingText {
                            objectName: "updateStatusTitle"
                            Layout.fillWidth: true
                            text: UpdateLook.statusTitle(root.updateState)
                            font.pixelSize: 19
                        }
                        BodyText {
                            objectName: "updateStatusText"
                            Layout.fillWidth: true
                            text: UpdateLook.statusText(root.updateState)
                        }
                    }
                }
            }
            BorderedButton {
                objectName: "updateRetryButton"
                visible: root.card === UpdateLook.StatusCard
                text: UpdateLook.checkLabel(root.updateState)
                onClicked: root.model.startCheckUpdates()
            }

            InsetCard {
                objectName: "updateReleaseCard"
                visible: root.card === UpdateLook.ReleaseCard
                Layout.fillWidth: true

                ColumnLayout {
                    anchors.fill: parent
                    spacing: 14

                    GlyphLabel {
                        objectName: "updateReleaseHeading"
                        Layout.fillWidth: true
                        glyph: "arrow.down.circle.fill"
                        color: Theme.accent
                        text: UpdateLook.releaseHeading(root.updateState)
                        font.family: Fonts.serif
                        font.pixelSize: 22
                        font.bold: true
                    }
                    BodyText {
                        objectName: "updateReleaseTitle"
                        Layout.fillWidth: true
                        text: UpdateLook.releaseTitle(root.updateState)
                        color: Theme.ink
                        font.weight: Font.DemiBold
                    }
                    ColumnLayout {
                        objectName: "updateReleaseNotes"
                        visible: notes.count > 0
                        Layout.fillWidth: true
                        spacing: 8

                        Repeater {
                            id: notes

                            model: UpdateLook.releaseNotes(root.updateState)

                            GlyphLabel {
                                required property string modelData

                                Layout.fillWidth: true
                                glyph: "checkmark"
                                color: Theme.muted
                                text: modelData
                            }
                        }
                    }
                    ProminentButton {
                        objectName: "updateInstallButton"
                        visible: UpdateLook.releaseFooter(root.updateState) === UpdateLook.InstallButton
                        text: "Скачать и установить"
                        font.pixelSize: 15
                        onClicked: screen.askToInstall()
                    }
                    RowLayout {
                        objectName: "updateInstallingRow"
                        visible: UpdateLook.releaseFooter(root.updateState) === UpdateLook.Installing
                        spacing: 10

                        ProgressIndicator {
                            Layout.alignment: Qt.AlignVCenter
                            running: parent.visible
                            size: 16
                        }
                        PlainText {
                            Layout.alignment: Qt.AlignVCenter
                            text: UpdateLook.releaseFooterText(root.updateState)
                            color: Theme.ink
                            font.family: Fonts.system
                            font.pixelSize: 13
                        }
                    }
                    BodyText {
                        objectName: "updateInstallingNote"
                        visible: text.length > 0
                        Layout.fillWidth: true
                        text: UpdateLook.installingNote(root.updateState)
                    }
                    GlyphLabel {
                        objectName: "updateInstalledLine"
                        visible: UpdateLook.releaseFooter(root.updateState) === UpdateLook.Installed
                        Layout.fillWidth: true
                        glyph: "checkmark.circle.fill"
                        color: Theme.accent
                        text: UpdateLook.releaseFooterText(root.updateState)
                    }
                }
            }
        }
    }

    Sheet {
        id: licenseSheet

        objectName: "licenseSheet"
        width: Math.min(620, parent ? parent.width : 620)
        height: Math.min(680, parent ? parent.height : 680)
        visible: screen.agreementShown

        // Made afresh for every showing, so its confirmation starts unticked each time.
        contentItem: Loader {
            active: screen.agreementShown
            source: "LicenseAgreementView.qml"
        }

        Connections {
            target: (licenseSheet.contentItem as Loader).item
            ignoreUnknownSignals: true

            function onAccepted() {
                screen.acceptAgreement();
            }
            function onDeclined() {
                screen.declineAgreement();
            }
        }
    }
}
