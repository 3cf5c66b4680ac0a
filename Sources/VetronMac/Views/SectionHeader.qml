import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// The title row of a section screen: a round back button to the main screen, then the title.
RowLayout {
    id: root

    required property AppModel model
    required property string title

    spacing: 12

    Button {
        id: backButton

        objectName: "sectionBackButton"
        Layout.preferredWidth: 40
        Layout.preferredHeight: 40
        padding: 0
        hoverEnabled: true
        ToolTip.visible: hovered
        ToolTip.text: "На главную"
        Accessible.name: "Назад"
        onClicked: root.model.openSection(MainSection.Protection)

        contentItem: Item {
            Glyph {
                anchors.centerIn: parent
                width: 18
                height: 18
                name: "arrow.left"
                color: Theme.accent
            }
        }
        background: Rectangle {
            radius: width / 2
            color: Theme.chip
        }
    }
    HeadingText {
        objectName: "sectionTitle"
        Layout.fillWidth: true
        text: root.title
        font.pixelSize: 32
    }
}
