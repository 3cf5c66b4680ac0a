import QtQuick
import QtQuick.Layouts
import Vetron

// Where the connections go: the computer, the server that replaces the data, and Claude.
ColumnLayout {
    Layout.fillWidth: true
    spacing: 8

    component FlowNode: Rectangle {
        id: flowNode

        property alias text: nodeLabel.text
        property bool highlighted: false

        // Equal shares of the row.
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        implicitHeight: 44
        radius: 8
        color: highlighted ? Theme.accentSoft : Theme.surface
        border.color: Theme.innerStroke

        DiagramText {
            id: nodeLabel

            anchors.centerIn: parent
            horizontalAlignment: Text.AlignHCenter
            color: flowNode.highlighted ? Theme.accent : Theme.ink
        }
    }
    component FlowArrow: PlainText {
        text: "→"
        font.family: Fonts.system
        font.pixelSize: 14
        color: Theme.faint
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 6

        FlowNode {
            text: "Ваш\nкомпьютер"
        }
        FlowArrow {}
        FlowNode {
            text: "Сервер · РФ\nобезличивание"
            highlighted: true
        }
        FlowArrow {}
        FlowNode {
            text: "Claude"
        }
    }
    DiagramCaption {
        text: "остальные сайты сервер не читает"
    }
}
