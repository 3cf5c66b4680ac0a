import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// How long maps are kept and whether placeholders are shared between chats, edited in place in
// the model's settings.
SettingsCard {
    id: card

    required property AppModel model
    // Whether the settings came from the server, so that they may be changed.
    required property bool editable

    padding: 18
    spacing: 14

    RowLayout {
        Layout.fillWidth: true
        spacing: 12

        BodyText {
            Layout.fillWidth: true
            text: "Удалять карту замен через"
            font.pixelSize: 14
            color: Theme.ink
        }
        ComboBox {
            id: picker

            objectName: "retentionPicker"
            visible: !PreviewMode.flattenScrolls
            enabled: card.editable
            model: SettingsLook.retentionLabels
            currentIndex: SettingsLook.retentionIndex(card.model.settings)
            displayText: currentIndex < 0 ? "" : currentText
            font.family: Fonts.system
            font.pixelSize: 13
            onActivated: index => card.model.settings = SettingsLook.withRetentionChoice(card.model.settings, index)

            // The Basic style would draw a grey square box from its palette; the picker is the
            // same chip-coloured capsule as its still picture.
            leftPadding: 10
            rightPadding: 26
            background: Rectangle {
                implicitHeight: 26
                radius: 6
                color: Theme.chip
            }
            contentItem: PlainText {
                text: picker.displayText
                font: picker.font
                color: Theme.chipInk
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
            }
            // Our own chevron, drawn like the platform's pop-up button, instead of the style's image.
            indicator: Glyph {
                x: picker.width - width - 10
                y: (picker.height - height) / 2
                width: 10
                height: 10
                name: "chevron.down"
                color: Theme.chipInk
            }
        }
        Rectangle {
            visible: PreviewMode.flattenScrolls
            implicitWidth: staticLabel.implicitWidth + 20
            implicitHeight: staticLabel.implicitHeight + 8
            radius: 6
            color: Theme.chip

            PlainText {
                id: staticLabel

                objectName: "retentionLabel"
                anchors.centerIn: parent
                text: SettingsLook.retentionLabel(card.model.settings)
                font.family: Fonts.system
                font.pixelSize: 13
                color: Theme.chipInk
            }
        }
    }
    DetailsDisclosure {
        text: "Карта замен — зашифрованный список соответствий «обозначение → настоящее значение». Она нужна, чтобы показывать вам ответы Claude с реальными данными. По истечении срока карта сессии стирается: переписка в Claude остаётся обезличенной, а старые обозначения в новых ответах больше не превращаются обратно в настоящие значения. Короткий срок — меньше хранится; длинный — дольше работает восстановление в старых диалогах."
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Theme.divider
    }
    QuietToggle {
        objectName: "crossSessionToggle"
        Layout.fillWidth: true
        text: "Одинаковые обозначения между чатами"
        enabled: card.editable
        checkable: false
        checked: card.model.settings.crossSession
        onClicked: card.model.settings.crossSession = !checked
    }
    DetailsDisclosure {
        text: "Когда включено, одно и то же имя или контакт получает одинаковое обозначение во всех чатах — например, PERSON_1 везде означает одного человека, и Claude лучше держит контекст между диалогами. Обратная сторона: по обозначению можно связать упоминания человека в разных чатах. Когда выключено, каждый чат использует свои обозначения, связать их между собой нельзя."
    }
}
