import QtQuick
import QtQuick.Controls.Basic
import Vetron

// A card inside a section: its content padded 18 on a rounded inner-panel background.
Pane {
    id: control

    padding: 18

    background: Rectangle {
        radius: 14
        color: Theme.innerPanel
    }
}
