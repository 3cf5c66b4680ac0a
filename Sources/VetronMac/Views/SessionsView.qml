import QtQuick
import QtQuick.Layouts
import Vetron

// One protected session: its name (which can be changed), dates and counts, its placeholder
// table only on explicit request, and its deletion. The decrypted table lives in `operations`,
// which goes with the screen.
Item {
    id: root

    required property AppModel model
    readonly property protectedSession session: model.selectedSession

    // Only a flattened scroll (pictures) has a height of its own.
    implicitHeight: scroll.implicitHeight
    Component.onCompleted: if (model.hasSelectedSession && titleField.text.length === 0)
        titleField.text = SessionLook.title(session)

    SessionOperations {
        id: operations

        model: root.model
    }
    SectionScroll {
        id: scroll

        anchors.fill: parent

        ColumnLayout {
            spacing: 14

            LinkButton {
                objectName: "backToListButton"
                text: "← К списку"
                labelColor: Theme.muted
                onClicked: root.model.closeSession()
            }
            ColumnLayout {
                Layout.fillWidth: true
                visible: root.model.hasSelectedSession
                spacing: 14

                BodyText {
                    objectName: "sessionTitle"
                    Layout.fillWidth: true
                    text: root.model.hasSelectedSession ? SessionLook.title(root.session) : ""
                    font.pixelSize: 25
                    font.bold: true
                    color: Theme.ink
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    PlatformTextField {
                        id: titleField

                        objectName: "renameField"
                        Layout.fillWidth: true
                        placeholderText: "Название сессии"
                    }
                    BorderedButton {
                        objectName: "renameButton"
                        text: "Сохранить"
                        enabled: SessionLook.canRename(titleField.text, operations.busy)
                        onClicked: operations.rename(root.session.id, titleField.text)
                    }
                }
                BodyText {
                    Layout.fillWidth: true
                    text: "Исходные значения не загружаются, пока вы явно не нажмёте «Показать данные»."
                }
                PlainText {
                    objectName: "sessionFacts"
                    Layout.fillWidth: true
                    text: root.model.hasSelectedSession ? SessionLook.facts(root.session) : ""
                    font.family: Fonts.system
                    font.pixelSize: 13
                    lineHeight: 1.2
                    color: Theme.ink
                }
                ProminentButton {
                    objectName: "revealButton"
                    visible: !operations.revealed
                    text: SessionLook.revealLabel(operations.busy)
                    tint: Theme.accent
                    enabled: !operations.busy
                    onClicked: operations.reveal(root.session.id)
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    visible: operations.revealed
                    spacing: 10

                    CaptionText {
                        Layout.fillWidth: true
                        text: "Данные расшифрованы только для показа в этом окне."
                        color: Theme.muted
                        wrapMode: Text.Wrap
                    }
                    BodyText {
                        objectName: "emptyMappingText"
                        Layout.fillWidth: true
                        visible: operations.mapping.length === 0
                        text: "В этой сессии сохранённых замен нет."
                        color: Theme.ink
                    }
                    Repeater {
                        model: operations.mapping

                        Rectangle {
                            id: mappingRow

                            required property protectedMapping modelData

                            Layout.fillWidth: true
                            implicitHeight: pair.implicitHeight + 24
                            radius: 10
                            color: Theme.innerPanel

                            ColumnLayout {
                                id: pair

                                anchors.fill: parent
                                anchors.margins: 12
                                spacing: 4

                                PlainText {
                                    Layout.fillWidth: true
                                    text: mappingRow.modelData.placeholder
                                    font.family: Fonts.monospaced
                                    font.pixelSize: 13
                                    font.weight: Font.DemiBold
                                    color: Theme.ink
                                    wrapMode: Text.WrapAnywhere
                                }
                                TextEdit {
                                    objectName: "mappingOriginal"
                                    Layout.fillWidth: true
                                    text: mappingRow.modelData.original
                                    textFormat: TextEdit.PlainText
                                    readOnly: true
                                    selectByMouse: true
                                    font.family: Fonts.system
                                    font.pixelSize: 13
                                    color: Theme.ink
                                    selectionColor: Theme.accentSoftHover
                                    selectedTextColor: Theme.ink
                                    wrapMode: TextEdit.Wrap
                                }
                            }
                        }
                    }
                }
                BodyText {
                    objectName: "sessionError"
                    Layout.fillWidth: true
                    visible: operations.error.length > 0
                    text: operations.error
                    color: Theme.danger
                }
                DangerGhostButton {
                    objectName: "deleteSessionButton"
                    text: "Удалить сессию"
                    enabled: !operations.busy
                    onClicked: deleteDialog.open()
                }
            }
        }
    }
    ConfirmDialog {
        id: deleteDialog

        objectName: "sessionDeleteDialog"
        title: "Удалить сессию?"
        message: "Карта замен этой сессии будет удалена без возможности восстановления."
        onConfirmed: operations.remove(root.session.id)
    }
}
