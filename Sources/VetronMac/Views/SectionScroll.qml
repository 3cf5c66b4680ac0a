import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The scroll container of every section screen: the content in a vertical scroll view, its
// indicator shown while the content is taller than the view, or, when the preview renderer
// flattens scrolls, the content placed directly at its full height.
Item {
    id: root

    default property Item content
    // Whether the content is taller than the view, so that it scrolls and its bar shows.
    readonly property bool scrolls: !PreviewMode.flattenScrolls && content !== null && content.implicitHeight > height

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
                policy: root.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }
        }
    }
    Binding {
        target: root.content
        property: "parent"
        value: scroller.item ? (scroller.item as Flickable).contentItem : root
    }
    // A shown scroll bar keeps a lane of its own beside the content rather than covering its
    // edge; without it the content reaches the full width.
    Binding {
        target: root.content
        property: "width"
        value: root.width - (root.scrolls ? 14 : 0)
    }
}
