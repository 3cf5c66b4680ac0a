import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// The explainer: where traffic goes, how data is replaced, how the map is locked and what the
// server keeps. As a sheet it is 440 × 640 and scrolls; for pictures it is as tall as its content.
Rectangle {
    id: root

    property bool renderFullHeight: false

    signal dismissed()

    implicitWidth: 440
    implicitHeight: renderFullHeight ? scroller.contentHeight + 10 + closeButton.implicitHeight + 22 : 640
    color: Theme.appBg

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        Flickable {
            id: scroller

            objectName: "howItWorksScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            interactive: !root.renderFullHeight
            contentWidth: width
            contentHeight: content.implicitHeight + 52
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                policy: root.renderFullHeight ? ScrollBar.AlwaysOff : ScrollBar.AlwaysOn
            }

            ColumnLayout {
                id: content

                x: 26
                y: 26
                width: scroller.width - 52
                spacing: 14

                Ornament {}
                PlainText {
                    Layout.fillWidth: true
                    text: "Как это работает"
                    font.family: Fonts.system
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    color: Theme.muted
                }
                HeadingText {
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    text: "Ветрон между вами и Claude"
                    font.pixelSize: 26
                }
                BodyText {
                    Layout.fillWidth: true
                    text: "Он подменяет личные данные до отправки и возвращает их в ответе — на вашем компьютере."
                    font.pixelSize: 14
                }
                HowItWorksStep {
                    number: 1
                    title: "Что уходит наружу"
                    text: "Соединения идут через сервер «Ветрона». Расшифровывается и обезличивается только обмен с Claude — содержимое остальных сайтов сервер не читает и не сохраняет."

                    FlowDiagram {}
                }
                HowItWorksStep {
                    number: 2
                    title: "Замена данных"
                    text: "Имена, контакты и реквизиты заменяются на обозначения. Claude видит только их — в ответе они возвращаются в настоящие значения."

                    SwapDiagram {}
                }
                HowItWorksStep {
                    number: 3
                    title: "Карта, шифр и ключ"
                    text: "Соответствия хранятся в зашифрованной карте замен. Ключ есть только у вас — на сервере его нет, поэтому сотрудники сервиса прочитать эту карту не могут."

                    KeyDiagram {}
                }
                HowItWorksStep {
                    number: 4
                    title: "Как это хранится"
                    text: "Переписка не сохраняется: на сервере в России остаётся только карта замен и только в зашифрованном виде. Срок задаёте вы, удалить можно в любой момент."

                    StoreDiagram {}
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 14

                    Repeater {
                        model: [{ swatch: Theme.copper, label: "настоящие данные" },
                                { swatch: Theme.accent, label: "обезличенные" }]

                        RowLayout {
                            id: legendEntry

                            required property var modelData

                            spacing: 6

                            Rectangle {
                                implicitWidth: 10
                                implicitHeight: 10
                                radius: 3
                                color: legendEntry.modelData.swatch
                            }
                            PlainText {
                                text: legendEntry.modelData.label
                                font.family: Fonts.system
                                font.pixelSize: 12
                                color: Theme.muted
                            }
                        }
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    PlainText {
                        Layout.alignment: Qt.AlignTop
                        text: "⚠"
                        font.family: Fonts.system
                        font.pixelSize: 13
                        color: Theme.copper
                    }
                    BodyText {
                        Layout.fillWidth: true
                        text: "Ветрон существенно снижает, но не устраняет риск полностью: часть данных может быть не распознана. Проверяйте особо важные сведения перед отправкой."
                        font.pixelSize: 12
                    }
                }
            }
        }
        ProminentButton {
            id: closeButton

            objectName: "howItWorksCloseButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 22
            text: "Понятно"
            tint: Theme.accent
            onClicked: root.dismissed()
        }
    }
}
