import QtQuick
import QtQuick.Layouts
import Vetron

// The map is encrypted, and the key is the user's alone.
Row {
    id: key

    Layout.fillWidth: true
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

            DiagramText {
                text: "Карта замен"
                font.weight: Font.DemiBold
                color: Theme.ink
            }
            Repeater {
                model: 3

                DiagramText {
                    required property int index

                    width: parent ? parent.width : 0
                    text: DiagramSamples.placeholders[index] + " → " + DiagramSamples.realValues[index]
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

            CaptionText {
                id: lock

                anchors.centerIn: parent
                text: "🔒  шифруется"
                font.weight: Font.DemiBold
                color: Theme.surface
            }
        }
    }
    // Each line of the note keeps to one line: the column is as wide as its longer text.
    Column {
        id: keyNote

        anchors.verticalCenter: parent.verticalCenter
        spacing: 2

        DiagramText {
            objectName: "keyNoteTitle"
            text: "🔑 Ключ — только у вас"
            font.weight: Font.DemiBold
            color: Theme.accent
        }
        CaptionText {
            text: "на сервере ключа нет"
            color: Theme.faint
        }
    }
}
