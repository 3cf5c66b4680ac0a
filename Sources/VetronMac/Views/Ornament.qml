import QtQuick
import Vetron

// Two thin lines and a diamond between them: the mark above the protection card's shield and
// above the explainer's title.
Row {
    spacing: 9

    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: 48
        height: 1
        color: Theme.ornament
    }
    Rectangle {
        width: 8
        height: 8
        rotation: 45
        color: Theme.accent
    }
    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: 48
        height: 1
        color: Theme.ornament
    }
}
