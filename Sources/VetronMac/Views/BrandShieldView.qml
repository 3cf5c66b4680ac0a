import QtQuick
import Vetron

// The brand shield of a protection state, sized by the caller: the logo (or the accent shield
// glyph when there is none), dimmed only while protection is off.
Item {
    id: root

    required property int protectionState

    opacity: ShieldLook.brandOpacity(protectionState)
    Accessible.role: Accessible.Graphic
    Accessible.name: ShieldLook.label(protectionState)

    BrandShieldPicture {
        anchors.fill: parent
    }
}
