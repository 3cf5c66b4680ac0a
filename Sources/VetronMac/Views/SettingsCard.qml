import QtQuick
import QtQuick.Layouts
import Vetron

// A white card of the settings screen: rounded, outlined, its children in a padded column.
Rectangle {
    id: card

    property real padding: 16
    property alias spacing: column.spacing
    default property alias content: column.data

    Layout.fillWidth: true
    implicitHeight: column.implicitHeight + 2 * padding
    radius: 14
    color: Theme.surface
    border.color: Theme.cardStroke
    border.width: 1

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: card.padding
    }
}
