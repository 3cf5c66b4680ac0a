import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The scroll container of every section screen: the content in a vertical scroll view with its
// indicator shown, or, when the preview renderer flattens scrolls, the content placed directly at
// its full height.
Item {
    id: root

    default property Item content

    implicitWidth: content ? content.implicitWidth : 0
    implicitHeight: PreviewMode.flattenScrolls && content ? content.implicitHeight : 0

    Loader {
        id: scroller

        anchors.fill: parent
        active: !PreviewMode.flattenScrolls
        sourceComponent: Flickable {
            objectName: "sectionScrollView"
            clip: true
            contentWidth: width
            contentHeight: root.content ? root.content.implicitHeight : 0
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                policy: ScrollBar.AlwaysOn
            }
        }
    }
    Binding {
        target: root.content
        property: "parent"
        value: scroller.item ? scroller.item.contentItem : root
    }
    // The scroll bar keeps a lane of its own beside the content rather than covering its edge.
    Binding {
        target: root.content
        property: "width"
        value: root.width - (scroller.item ? 14 : 0)
    }
}
