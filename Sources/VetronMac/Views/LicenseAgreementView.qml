import QtQuick
import QtQuick.Layouts
import Vetron

// The user agreement in front of everything else: its text, a confirmation tick, and the choice
// to accept (which records the accepted version) or to decline (which records nothing).
Rectangle {
    id: root

    property bool confirmed: false

    signal accepted()
    signal declined()

    implicitWidth: 620
    implicitHeight: Math.max(680, column.implicitHeight + 2 * 28)
    color: Theme.appBg

    LicenseAcceptance {
        id: agreement
    }

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 28
        spacing: 16

        HeadingText {
            objectName: "licenseTitle"
            Layout.fillWidth: true
            text: "Пользовательское соглашение"
            font.pixelSize: 32
        }
        BodyText {
            Layout.fillWidth: true
            text: "Прочитайте условия перед активацией Ветрона."
        }
        Rectangle {
            objectName: "licenseTextBox"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: PreviewMode.flattenScrolls ? 430 : 0
            Layout.preferredHeight: scroll.implicitHeight
            color: Theme.surface
            radius: 10
            clip: true

            SectionScroll {
                id: scroll

                anchors.fill: parent

                TextEdit {
                    objectName: "licenseText"
                    padding: 16
                    text: agreement.text
                    textFormat: TextEdit.PlainText
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.Wrap
                    font.family: Fonts.system
                    font.pixelSize: 13
                    color: Theme.ink
                    selectionColor: Theme.accentSoftHover
                    selectedTextColor: Theme.ink
                }
            }
            // The outline above the text, so that the scrolled text never covers it.
            Rectangle {
                anchors.fill: parent
                radius: parent.radius
                color: "transparent"
                border.color: Theme.cardStroke
                border.width: 1
            }
        }
        QuietToggle {
            objectName: "licenseConfirmToggle"
            Layout.fillWidth: true
            text: "Я прочитал(а) и принимаю условия пользовательского соглашения"
            checked: root.confirmed
            onToggled: root.confirmed = checked
        }
        RowLayout {
            Layout.fillWidth: true
            // A layout fills by default: the room below the toggle belongs to the text.
            Layout.fillHeight: false

            // The buttons of one row share one height.
            BorderedButton {
                objectName: "licenseDeclineButton"
                Layout.fillHeight: true
                text: "Не принимаю"
                onClicked: root.declined()
            }
            Item {
                Layout.fillWidth: true
            }
            ProminentButton {
                objectName: "licenseAcceptButton"
                text: "Принять и продолжить"
                tint: Theme.accent
                enabled: root.confirmed
                onClicked: {
                    agreement.accept();
                    root.accepted();
                }
            }
        }
    }
}
