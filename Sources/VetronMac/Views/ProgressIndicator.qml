import QtQuick
import QtQuick.Controls.Basic
import Vetron

// The platform's spinning progress indicator: twelve spokes fading round. It turns only while
// running and visible.
BusyIndicator {
    id: control

    property real size: 20

    padding: 0

    contentItem: Item {
        implicitWidth: control.size
        implicitHeight: control.size

        Repeater {
            model: 12

            // Each spoke turned about the indicator's centre.
            Item {
                required property int index

                anchors.fill: parent
                rotation: index * 30
                opacity: 0.25 + 0.75 * index / 12

                Rectangle {
                    x: (parent.width - width) / 2
                    y: 0
                    width: parent.width / 10
                    height: parent.height * 0.28
                    radius: width / 2
                    color: Theme.muted
                }
            }
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: control.running && control.visible
        }
    }
}
