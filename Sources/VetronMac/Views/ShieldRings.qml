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

    visible: ProtectionLook.live(protectionState)

    Timer {
        id: clock

        objectName: "protectionRingsClock"
        interval: 50
        repeat: true
        triggeredOnStart: true
        running: ProtectionLook.ringsAnimate(root.protectionState, root.Window.visibility)
        onTriggered: root.phase = ProtectionLook.ringPhase(Date.now())
    }

    // One ring, `offset` of a cycle into the cycle.
    component Ring: Rectangle {
        property real offset
        property real phase

        anchors.centerIn: parent
        width: 200
        height: 200
        radius: 100
        color: "transparent"
        border.width: 2
        border.color: Theme.accentLive
        scale: ProtectionLook.ringScale(offset, phase)
        opacity: ProtectionLook.ringOpacity(offset, phase)
    }

    Ring {
        offset: 0
        phase: root.phase
    }
    Ring {
        offset: 0.5
        phase: root.phase
    }
}
