import QtQuick
import QtQuick.Layouts
import Vetron

// The protection screen: a white card that says whether personal data is protected right now,
// with the one main action (switch on, switch off, retry), a switch-off beside a retry, and the
// way to the explainer.
Rectangle {
    id: root

    required property AppModel model
    readonly property int protectionState: model.state
    readonly property color tint: ProtectionLook.tint(protectionState)

    // "Как это работает" was pressed: the owner presents the explainer.
    signal howItWorksRequested

    objectName: "protectionCard"
    radius: 18
    color: Theme.surface
    border.width: 1
    border.color: Theme.cardStroke

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 32
        spacing: 0

        Item {
            Layout.fillHeight: true
            Layout.minimumHeight: 12
        }
        Ornament {
            Layout.alignment: Qt.AlignHCenter
        }
        Item {
            Layout.topMargin: 22
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 260
            Layout.preferredHeight: 260

            ShieldRings {
                objectName: "protectionRings"
                anchors.fill: parent
                protectionState: root.protectionState
            }
            Rectangle {
                objectName: "protectionHalo"
                anchors.centerIn: parent
                width: 200
                height: 200
                radius: 100
                color: root.tint
                opacity: 0.12
            }
            BrandShieldView {
                anchors.centerIn: parent
                width: 132
                height: 132
                protectionState: root.protectionState
            }
        }
        HeadingText {
            objectName: "protectionTitle"
            Layout.topMargin: 24
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 440
            text: ProtectionLook.title(root.protectionState)
            font.pixelSize: 27
            horizontalAlignment: Text.AlignHCenter
        }
        BodyText {
            objectName: "protectionSubtitle"
            Layout.topMargin: 8
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 400
            text: ProtectionLook.subtitle(root.protectionState)
            font.pixelSize: 14
            horizontalAlignment: Text.AlignHCenter
        }
        CaptionText {
            objectName: "protectionDetail"
            Layout.topMargin: 8
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 400
            visible: ProtectionLook.detailShown(root.protectionState, root.model.detail)
            text: root.model.detail
            color: Theme.muted
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            maximumLineCount: 3
            elide: Text.ElideRight
        }
        Loader {
            Layout.topMargin: 26
            Layout.alignment: Qt.AlignHCenter
            // The loader is as large as its button, which is at least 240 wide.
            Layout.preferredWidth: Math.max(240, implicitWidth)
            sourceComponent: ProtectionLook.live(root.protectionState) ? mintAction : prominentAction
        }
        LinkButton {
            objectName: "protectionSwitchOffButton"
            Layout.topMargin: 12
            Layout.alignment: Qt.AlignHCenter
            visible: ProtectionLook.switchOffOffered(root.protectionState)
            enabled: !root.model.busy
            text: "Выключить защиту"
            labelColor: Theme.muted
            font.pixelSize: 13
            onClicked: root.model.startSwitchProtectionOff()
        }
        // Nothing goes out while blocked: the note on what protection may miss gives its place
        // to the switch-off.
        BodyText {
            Layout.topMargin: 20
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 380
            visible: !ProtectionLook.switchOffOffered(root.protectionState)
            text: "Ветрон снижает, но не устраняет риск полностью — проверяйте особо важные данные перед отправкой."
            font.pixelSize: 12
            color: Theme.faint
            horizontalAlignment: Text.AlignHCenter
        }
        LabelButton {
            objectName: "protectionHowItWorksButton"
            Layout.topMargin: 16
            Layout.alignment: Qt.AlignHCenter
            leftPadding: 18
            rightPadding: 18
            topPadding: 10
            bottomPadding: 10
            text: "Как это работает"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            labelColor: Theme.chipInk
            onClicked: root.howItWorksRequested()

            background: Rectangle {
                radius: 9
                color: Theme.chip
            }
        }
        Item {
            Layout.fillHeight: true
            Layout.minimumHeight: 12
        }
    }

    Component {
        id: mintAction

        MintButton {
            objectName: "protectionActionButton"
            text: ProtectionLook.actionLabel(root.protectionState)
            enabled: ProtectionLook.actionEnabled(root.protectionState, root.model.busy)
            onClicked: root.model.startToggle()
        }
    }
    Component {
        id: prominentAction

        ProminentButton {
            objectName: "protectionActionButton"
            text: ProtectionLook.actionLabel(root.protectionState)
            tint: root.tint
            enabled: ProtectionLook.actionEnabled(root.protectionState, root.model.busy)
            onClicked: root.model.startToggle()
        }
    }
}
