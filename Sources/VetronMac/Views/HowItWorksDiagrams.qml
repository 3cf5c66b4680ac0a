import QtQuick
import QtQuick.Layouts
import Vetron

// The explainer's small diagrams, one per `kind`: "flow", "swap", "key" or "store". The sample
// person and contacts are invented.
ColumnLayout {
    id: root

    required property string kind
    readonly property var realValues: ["Анна Примерова", "anna@example.com", "+7 000 123-45-67", "ИНН 123456789012"]
    readonly property var placeholders: ["PERSON_1", "EMAIL_1", "PHONE_1", "INN_1"]

    Layout.fillWidth: true
    spacing: 8

    component Caption: PlainText {
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        font.family: Fonts.system
        font.pixelSize: 11
        color: Theme.faint
        wrapMode: Text.Wrap
    }
    component Chip: Rectangle {
        id: chip

        property alias text: label.text
        property alias textColor: label.color
        property bool monospaced: false

        Layout.fillWidth: true
        implicitHeight: label.implicitHeight + 6
        radius: 5

        PlainText {
            id: label

            anchors.fill: parent
            anchors.leftMargin: 6
            anchors.rightMargin: 6
            verticalAlignment: Text.AlignVCenter
            font.family: chip.monospaced ? Fonts.monospaced : Fonts.system
            font.pixelSize: 11
            elide: Text.ElideRight
        }
    }
    component FlowNode: Rectangle {
        id: flowNode

        property alias text: nodeLabel.text
        property bool highlighted: false

        width: flow.nodeWidth
        implicitHeight: 44
        radius: 8
        color: highlighted ? Theme.accentSoft : Theme.surface
        border.color: Theme.innerStroke

        PlainText {
            id: nodeLabel

            anchors.centerIn: parent
            horizontalAlignment: Text.AlignHCenter
            font.family: Fonts.system
            font.pixelSize: 11
            color: flowNode.highlighted ? Theme.accent : Theme.ink
        }
    }
    component StoreCell: ColumnLayout {
        id: storeCell

        property string emoji
        property string caption

        // Equal shares of the row.
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        spacing: 2

        PlainText {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: storeCell.emoji
            font.family: Fonts.system
            font.pixelSize: 20
        }
        PlainText {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: storeCell.caption
            font.family: Fonts.system
            font.pixelSize: 11
            color: Theme.faint
            elide: Text.ElideRight
        }
    }
    component DataCard: Rectangle {
        id: card

        property string title
        property var lines
        property color ink
        property color fill
        property bool monospaced: false

        width: (swap.width - arrows.implicitWidth - 2 * swap.spacing) / 2
        implicitHeight: cardLines.implicitHeight + 16
        radius: 8
        color: Theme.surface
        border.color: Theme.innerStroke

        ColumnLayout {
            id: cardLines

            anchors.fill: parent
            anchors.margins: 8
            spacing: 4

            PlainText {
                text: card.title
                font.family: Fonts.system
                font.pixelSize: 11
                font.weight: Font.DemiBold
                color: Theme.ink
            }
            Repeater {
                model: card.lines

                Chip {
                    required property string modelData

                    text: modelData
                    textColor: card.ink
                    color: card.fill
                    monospaced: card.monospaced
                }
            }
        }
    }

    // Flow: where the connections go.
    Item {
        Layout.fillWidth: true
        visible: root.kind === "flow"
        implicitHeight: flow.implicitHeight

        Row {
            id: flow

            readonly property real nodeWidth: (width - 2 * arrow.implicitWidth - 4 * spacing) / 3

            width: parent.width
            spacing: 6

            FlowNode {
                text: "Ваш\nкомпьютер"
            }
            PlainText {
                id: arrow

                anchors.verticalCenter: parent.verticalCenter
                text: "→"
                font.family: Fonts.system
                font.pixelSize: 14
                color: Theme.faint
            }
            FlowNode {
                text: "Сервер · РФ\nобезличивание"
                highlighted: true
            }
            PlainText {
                anchors.verticalCenter: parent.verticalCenter
                text: "→"
                font.family: Fonts.system
                font.pixelSize: 14
                color: Theme.faint
            }
            FlowNode {
                text: "Claude"
            }
        }
    }
    Caption {
        visible: root.kind === "flow"
        text: "остальные сайты сервер не читает"
    }

    // Swap: the real values stay here, Claude sees placeholders.
    Item {
        Layout.fillWidth: true
        visible: root.kind === "swap"
        implicitHeight: swap.implicitHeight

        Row {
            id: swap

            width: parent.width
            spacing: 6

            DataCard {
                title: "У вас (настоящее)"
                lines: root.realValues
                ink: Theme.copper
                fill: Theme.copperSoft
            }
            Column {
                id: arrows

                anchors.verticalCenter: parent.verticalCenter
                spacing: 6

                PlainText {
                    text: "запрос →"
                    font.family: Fonts.system
                    font.pixelSize: 10
                    color: Theme.faint
                }
                PlainText {
                    text: "← ответ"
                    font.family: Fonts.system
                    font.pixelSize: 10
                    color: Theme.faint
                }
            }
            DataCard {
                title: "У Claude (обезличено)"
                lines: root.placeholders
                ink: Theme.accent
                fill: Theme.accentSoft
                monospaced: true
            }
        }
    }
    Caption {
        visible: root.kind === "swap"
        text: "Claude никогда не видит настоящие данные."
    }

    // Key: the map is encrypted, the key is the user's alone.
    Item {
        Layout.fillWidth: true
        visible: root.kind === "key"
        implicitHeight: key.implicitHeight

        Row {
            id: key

            width: parent.width
            spacing: 10

            Rectangle {
                width: key.width - key.spacing - keyNote.width
                height: mapRows.implicitHeight + 16
                radius: 8
                color: Theme.surface
                border.color: Theme.innerStroke

                Column {
                    id: mapRows

                    x: 8
                    y: 8
                    width: parent.width - 16
                    spacing: 4

                    PlainText {
                        text: "Карта замен"
                        font.family: Fonts.system
                        font.pixelSize: 11
                        font.weight: Font.DemiBold
                        color: Theme.ink
                    }
                    Repeater {
                        model: 3

                        PlainText {
                            required property int index

                            width: mapRows.width
                            text: root.placeholders[index] + " → " + root.realValues[index]
                            font.family: Fonts.system
                            font.pixelSize: 11
                            color: Theme.muted
                            elide: Text.ElideRight
                        }
                    }
                }
                Rectangle {
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.margins: 6
                    width: lock.implicitWidth + 12
                    height: lock.implicitHeight + 6
                    radius: 6
                    color: Theme.accent

                    PlainText {
                        id: lock

                        anchors.centerIn: parent
                        text: "🔒  шифруется"
                        font.family: Fonts.system
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                        color: Theme.surface
                    }
                }
            }
            Column {
                id: keyNote

                anchors.verticalCenter: parent.verticalCenter
                width: 110
                spacing: 2

                PlainText {
                    width: keyNote.width
                    text: "🔑 Ключ — только у вас"
                    font.family: Fonts.system
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: Theme.accent
                    wrapMode: Text.Wrap
                }
                PlainText {
                    width: keyNote.width
                    text: "на сервере ключа нет"
                    font.family: Fonts.system
                    font.pixelSize: 10
                    color: Theme.faint
                    wrapMode: Text.Wrap
                }
            }
        }
    }

    // Store: what the server keeps.
    RowLayout {
        Layout.fillWidth: true
        visible: root.kind === "store"
        spacing: 0

        StoreCell {
            emoji: "💾"
            caption: "шифртекст · РФ"
        }
        StoreCell {
            emoji: "⏱"
            caption: "срок хранения"
        }
        StoreCell {
            emoji: "🗑"
            caption: "удалить в 1 клик"
        }
    }
}
