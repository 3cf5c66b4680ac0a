import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// A confirmation of a destructive action, centred over the window: a title, a message, "Отмена"
// and the destructive button. Either button closes it; only the destructive one confirms.
Dialog {
    id: dialog

    property string message
    property string confirmText: "Удалить"

    signal confirmed()

    anchors.centerIn: parent
    width: 320
    modal: true
    padding: 20

    background: Rectangle {
        radius: 12
        color: Theme.surface
        border.color: Theme.cardStroke
        border.width: 1
    }
    header: null
    contentItem: ColumnLayout {
        spacing: 10

        BodyText {
            Layout.fillWidth: true
            text: dialog.title
            font.pixelSize: 14
            font.bold: true
            color: Theme.ink
        }
        BodyText {
            Layout.fillWidth: true
            text: dialog.message
            font.pixelSize: 12
        }
        RowLayout {
            Layout.topMargin: 8
            spacing: 8

            Item {
                Layout.fillWidth: true
            }
            BorderedButton {
                objectName: "confirmDialogCancel"
                text: "Отмена"
                onClicked: dialog.close()
            }
            DangerGhostButton {
                objectName: "confirmDialogConfirm"
                text: dialog.confirmText
                onClicked: {
                    dialog.confirmed()
                    dialog.close()
                }
            }
        }
    }
}
