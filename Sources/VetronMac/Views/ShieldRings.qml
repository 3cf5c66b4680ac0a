import QtQuick
import Vetron

// The live shield's two expanding rings, half a cycle apart, each growing from the halo's edge
// while it fades. Drawn only in the live state, and only while the window can be seen; redrawn
// 20 times a second: smooth enough for rings this slow, and a third less drawing than 30.
Item {
    id: root

    required property int protectionState
    readonly property bool animating: clock.running
    property real phase: 0

    visible: ProtectionLooks.live(protectionState)

    Timer {
        id: clock

        objectName: "protectionRingsClock"
        interval: 50
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
