import QtQuick
import Vetron

// The live shield's two expanding rings, half a cycle apart, each growing from the halo's edge
// while it fades. Drawn only in the live state; redrawn at most 30 times a second and only while
// the window can be seen.
Item {
    id: root

    required property int protectionState
    readonly property bool animating: clock.running
    property real phase: 0

    visible: ProtectionLooks.live(protectionState)

    Timer {
        id: clock

        objectName: "protectionRingsClock"
        interval: 34
        repeat: true
        triggeredOnStart: true
        running: ProtectionLooks.ringsAnimate(root.protectionState, root.Window.visibility)
        onTriggered: root.phase = ProtectionLooks.ringPhase(Date.now())
    }

    Repeater {
        model: [0.0, 0.5]

        Rectangle {
            required property real modelData

            anchors.centerIn: parent
            width: 200
            height: 200
            radius: 100
            color: "transparent"
            border.width: 2
            border.color: Theme.accentLive
            scale: ProtectionLooks.ringScale(modelData, root.phase)
            opacity: ProtectionLooks.ringOpacity(modelData, root.phase)
        }
    }
}
