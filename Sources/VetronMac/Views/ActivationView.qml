import QtQuick
import QtQuick.Layouts
import Vetron

// The screen of a Mac that is not enrolled yet: the one-time key from the personal account,
// typed or pasted, and one button that enrols with it. The shell replaces the screen once the
// model is activated; the screen itself never navigates.
Rectangle {
    id: root

    required property AppModel model
    property string code: ""

    color: Theme.appBg

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(root.width, 520) - 2 * 36
        spacing: 18

        BrandShieldView {
            Layout.preferredWidth: 64
            Layout.preferredHeight: 64
            protectionState: ProtectionState.Protected
        }
        HeadingText {
            Layout.fillWidth: true
            text: "Активируйте Ветрон"
            font.pixelSize: 32
        }
        BodyText {
            Layout.fillWidth: true
            text: "Вставьте ключ из личного кабинета. После активации Ветрон запомнит этот Mac."
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            PlatformTextField {
                objectName: "activationKeyField"
                Layout.fillWidth: true
                visible: !PreviewMode.flattenScrolls
                placeholderText: "Ключ активации"
                // The platform's third-level title.
                font.pixelSize: 15
                text: root.code
                onTextChanged: root.code = text
            }
            // The preview renderer draws a still look-alike of the empty field.
            Rectangle {
                Layout.fillWidth: true
                visible: PreviewMode.flattenScrolls
                implicitHeight: placeholder.implicitHeight + 2 * 7
                radius: 6
                color: Theme.surface
                border.color: Theme.cardStroke
                border.width: 1

                PlainText {
                    id: placeholder

                    anchors.fill: parent
                    leftPadding: 10
                    rightPadding: 10
                    verticalAlignment: Text.AlignVCenter
                    text: "Ключ активации"
                    font.family: Fonts.system
                    font.pixelSize: 15
                    color: Theme.hint
                }
            }
            BorderedButton {
                objectName: "activationPasteButton"
                text: "Вставить"
                onClicked: root.code = ActivationLook.pastedKey(root.code)
            }
        }
        LinkButton {
            objectName: "activationPortalLink"
            text: "Где получить ключ?"
            labelColor: Theme.accent
            font.pixelSize: 13
            font.weight: Font.DemiBold
            onClicked: Qt.openUrlExternally(root.model.portalAppUrl)
        }
        BodyText {
            objectName: "activationMessage"
            Layout.fillWidth: true
            visible: ActivationLook.showsMessage(root.model.message)
            text: root.model.message
            color: ActivationLook.messageColour(root.model.busy)
        }
        ProminentButton {
            objectName: "activationButton"
            text: ActivationLook.buttonLabel(root.model.busy)
            tint: Theme.accent
            enabled: !root.model.busy
            onClicked: root.model.startActivate(root.code)
        }
    }
}
