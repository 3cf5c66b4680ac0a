import QtQuick
import QtQuick.Layouts
import Vetron

// What the server keeps: three cells of an emoji over a caption, in equal shares of the row.
RowLayout {
    Layout.fillWidth: true
    spacing: 0

    component StoreCell: ColumnLayout {
        id: storeCell

        property string emoji
        property string caption

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
        DiagramText {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: storeCell.caption
            color: Theme.faint
            elide: Text.ElideRight
        }
    }

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
