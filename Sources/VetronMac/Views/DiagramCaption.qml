import QtQuick
import QtQuick.Layouts
import Vetron

// The remark under an explainer diagram.
CaptionText {
    Layout.fillWidth: true
    horizontalAlignment: Text.AlignHCenter
    color: Theme.faint
    wrapMode: Text.Wrap
}
