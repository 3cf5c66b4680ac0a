import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Vetron

// A sheet over the whole window: modal, centred, on the app background with rounded corners.
// It stays until its owner puts it away, unless the owner lets Esc close it.
Popup {
    parent: T.Overlay.overlay
    anchors.centerIn: parent
    modal: true
    closePolicy: Popup.NoAutoClose
    padding: 0

    background: Rectangle {
        radius: 10
        color: Theme.appBg
    }
}
