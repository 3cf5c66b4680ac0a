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

            Rectangle {
                required property int index

                x: (parent.width - width) / 2
                y: 0
                width: control.size / 10
                height: control.size * 0.28
                radius: width / 2
                color: Theme.muted
                opacity: 0.25 + 0.75 * index / 12
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: control.size / 2
                    angle: index * 30
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
