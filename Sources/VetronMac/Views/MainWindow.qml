import QtQuick
import Vetron

// The application's one window: the gate in front of the main screen, on the window background.
Window {
    id: window

    required property AppModel model

    title: "Ветрон"
    width: 620
    height: 800
    minimumWidth: 620
    minimumHeight: 800
    color: Theme.appBg

    RootView {
        anchors.fill: parent
        model: window.model
    }
}
