import QtQuick
import Vetron

// The gate of the main window: the user agreement until the current version is accepted, then
// activation until this Mac is enrolled, then the main screen. It moves on the moment either
// changes, without a restart.
Item {
    id: root

    required property AppModel model

    LicenseAcceptance {
        id: agreement
    }

    Loader {
        id: screen

        objectName: "rootScreen"
        anchors.fill: parent
        sourceComponent: !agreement.accepted ? agreementScreen
                         : !root.model.activated ? activationScreen
                         : mainScreen
    }

    Component {
        id: agreementScreen

        // Accepting has already stored the version, which moves the gate on.
        LicenseAgreementView {
            onDeclined: Qt.quit()
        }
    }
    Component {
        id: activationScreen

        ActivationView {
            model: root.model
        }
    }
    Component {
        id: mainScreen

        MainView {
            model: root.model
        }
    }
}
