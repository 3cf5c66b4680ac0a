import QtQuick
import QtQuick.Layouts
import Vetron

// The settings section: the account summary, the protection settings edited in place in the
// model, the session list ten to a page, and the deletion of the whole map. Nothing reaches the
// server before "Сохранить".
Item {
    id: root

    required property AppModel model

    // Only a flattened scroll (pictures) has a height of its own.
    implicitHeight: scroll.implicitHeight

    SettingsScreen {
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
                title: "Настройки"
            }
            BodyText {
                Layout.fillWidth: true
                text: "Карта замен хранится в зашифрованном виде. Ключ есть только у вас, на сервере он не сохраняется — поэтому расшифровать карту и увидеть настоящие данные не могут даже сотрудники сервиса."
            }
            SettingsStatsCard {
                model: root.model
            }
            SettingsStorageCard {
                model: root.model
                editable: screen.editable
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 14

                SettingsBlockHeading {
                    heading: "Что заменяется"
                    description: "Ветрон ищет и заменяет эти категории данных. По умолчанию включено всё. Отключайте только то, что точно не нужно скрывать — отключённое уйдёт в Claude как есть."
                }
                Repeater {
                    model: SettingsLook.categories

                    QuietToggle {
                        required property dataCategory modelData

                        objectName: "categoryToggle_" + modelData.key
                        Layout.fillWidth: true
                        text: modelData.title
                        hint: modelData.hint
                        font.weight: Font.Medium
                        enabled: screen.editable
                        checkable: false
                        checked: root.model.settings.isCategoryEnabled(modelData.key)
                        onClicked: root.model.settings.disabledCategories = SettingsLook.disabledCategoriesAfter(
                            root.model.settings.disabledCategories, modelData.key, !checked)
                    }
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 14

                SettingsBlockHeading {
                    heading: "Сессии"
                    description: "Список бесед, в которых Ветрон скрывал данные. Видны только названия, даты и количество замен. Текст запросов не сохраняется."
                }
                BodyText {
                    objectName: "sessionsNotice"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: screen.sessionsNotice
                }
                Repeater {
                    model: screen.rows

                    SessionRow {
                        required property protectedSession modelData

                        appModel: root.model
                        session: modelData
                        onDeleteRequested: {
                            screen.askToDelete(modelData)
                            sessionDialog.open()
                        }
                    }
                }
                RowLayout {
                    objectName: "sessionsPager"
                    Layout.fillWidth: true
                    visible: screen.pagerShown
                    spacing: 10

                    BorderedButton {
                        objectName: "pagerBackButton"
                        text: "← Назад"
                        enabled: screen.canGoBack
                        onClicked: screen.back()
                    }
                    PlainText {
                        objectName: "pagerText"
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignHCenter
                        text: screen.pagerText
                        font.family: Fonts.system
                        font.pixelSize: 12
                        color: Theme.faint
                    }
                    BorderedButton {
                        objectName: "pagerForwardButton"
                        text: "Вперёд →"
                        enabled: screen.canGoForward
                        onClicked: screen.forward()
                    }
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 14

                SettingsBlockHeading {
                    heading: "Конфиденциальность"
                    description: "Удалит зашифрованную карту замен. Старые обозначения после этого нельзя будет восстановить."
                }
                DangerGhostButton {
                    objectName: "purgeButton"
                    Layout.alignment: Qt.AlignRight
                    text: "Удалить карту замен"
                    onClicked: purgeDialog.open()
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    Item {
                        Layout.fillWidth: true
                    }
                    // The buttons of one row share one height.
                    BorderedButton {
                        objectName: "settingsCancelButton"
                        Layout.fillHeight: true
                        text: "Отмена"
                        onClicked: screen.cancel()
                    }
                    ProminentButton {
                        objectName: "settingsSaveButton"
                        text: "Сохранить"
                        tint: Theme.accent
                        enabled: screen.editable
                        onClicked: root.model.startSaveSettings()
                    }
                }
            }
        }
    }
    ConfirmDialog {
        id: purgeDialog

        objectName: "purgeDialog"
        title: "Удалить карту замен?"
        message: "Это действие нельзя отменить."
        onConfirmed: root.model.startPurgeMap()
    }
    ConfirmDialog {
        id: sessionDialog

        objectName: "sessionDeleteDialog"
        title: "Удалить сессию?"
        message: "Карта замен этой сессии будет удалена без возможности восстановления."
        onConfirmed: screen.confirmDeletion()
        onClosed: screen.dismissDeletion()
    }
}
