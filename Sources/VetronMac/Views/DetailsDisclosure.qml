import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Vetron

// "Подробнее" with a chevron; pressing it shows or hides the explanation below.
ColumnLayout {
    id: root

    required property string text

    Layout.fillWidth: true
    spacing: 6

    AbstractButton {
        id: toggle

        objectName: "detailsDisclosureButton"
        checkable: true
        padding: 0

        contentItem: RowLayout {
            spacing: 5

            PlainText {
                text: "Подробнее"
                font.family: Fonts.system
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Theme.accent
            }
            Glyph {
                Layout.preferredWidth: 10
                Layout.preferredHeight: 10
                name: toggle.checked ? "chevron.up" : "chevron.down"
                color: Theme.accent
            }
        }
    }
    BodyText {
        objectName: "detailsDisclosureText"
        Layout.fillWidth: true
        visible: toggle.checked
        text: root.text
        font.pixelSize: 12
    }
}
