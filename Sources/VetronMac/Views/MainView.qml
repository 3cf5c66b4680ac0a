import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// The main window's content: the brand and the section buttons, the section the model shows,
// and a footer with the last message and the version.
Rectangle {
    id: root

    required property AppModel model
    // Whether the explainer sheet is wanted; the protection screen's "Как это работает" asks.
    property bool showHowItWorks: false

    objectName: "mainView"
    // The content's own height: what a preview picture of a flattened section is framed at.
    implicitHeight: layout.implicitHeight + 2 * 26
    color: Theme.appBg

    ColumnLayout {
        id: layout

        anchors.fill: parent
        anchors.margins: 26
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            spacing: 11

            Button {
                objectName: "mainBrandButton"
                padding: 0
                Accessible.name: "Ветрон"
                onClicked: root.model.openSection(MainSection.Protection)

                contentItem: RowLayout {
                    spacing: 11

                    BrandShieldView {
                        Layout.preferredWidth: 38
                        Layout.preferredHeight: 38
                        protectionState: root.model.state
                    }
                    HeadingText {
                        text: "Ветрон"
                        font.pixelSize: 21
                        wrapMode: Text.NoWrap
                    }
                }
                background: Item {}
            }
            Item {
                Layout.fillWidth: true
            }
            SectionButton {
                objectName: "accountSectionButton"
                model: root.model
                section: MainSection.Account
                symbol: "person"
                label: "Подписка"
                onClicked: root.model.openSection(MainSection.Account)
            }
            SectionButton {
                objectName: "updatesSectionButton"
                model: root.model
                section: MainSection.Updates
                symbol: "arrow.down.circle"
                label: "Обновления"
                onClicked: root.model.openSection(MainSection.Updates)
            }
            SectionButton {
                objectName: "settingsSectionButton"
                model: root.model
                section: MainSection.Settings
                symbol: "slider.horizontal.3"
                label: "Настройки"
                onClicked: root.model.openSection(MainSection.Settings)
            }
        }
        Loader {
            objectName: "mainContent"
            Layout.topMargin: 14
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: {
                switch (root.model.section) {
                case MainSection.Account:
                    return accountScreen
                case MainSection.Sessions:
                    return sessionsScreen
                case MainSection.Updates:
                    return updatesScreen
                case MainSection.Settings:
                    return settingsScreen
                default:
                    return protectionScreen
                }
            }
        }
        RowLayout {
            Layout.topMargin: 12
            Layout.fillWidth: true
            spacing: 0

            CaptionText {
                objectName: "mainFooterMessage"
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                text: root.model.message
                color: Theme.muted
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
            Item {
                Layout.minimumWidth: 8
            }
            CaptionText {
                objectName: "mainFooterVersion"
                Layout.alignment: Qt.AlignTop
                Layout.minimumWidth: implicitWidth
                text: "Версия " + root.model.currentVersion
                color: Theme.faint
            }
        }
    }

    // The explainer as a sheet over the window, made afresh each time it opens; "Понятно" or Esc
    // puts it away.
    Sheet {
        id: howItWorksSheet

        objectName: "howItWorksSheet"
        width: 440
        height: 640
        visible: root.showHowItWorks
        // Esc reaches a popup only while it holds the focus.
        focus: true
        closePolicy: Popup.CloseOnEscape
        onClosed: root.showHowItWorks = false

        contentItem: Loader {
            active: root.showHowItWorks
            sourceComponent: HowItWorksView {
                onDismissed: root.showHowItWorks = false
            }
        }
    }

    Component {
        id: protectionScreen

        ProtectionView {
            model: root.model
            onHowItWorksRequested: root.showHowItWorks = true
        }
    }
    Component {
        id: accountScreen

        AccountView {
            model: root.model
        }
    }
    Component {
        id: sessionsScreen

        SessionsView {
            model: root.model
        }
    }
    Component {
        id: updatesScreen

        UpdateView {
            model: root.model
        }
    }
    Component {
        id: settingsScreen

        SettingsView {
            model: root.model
        }
    }
}
