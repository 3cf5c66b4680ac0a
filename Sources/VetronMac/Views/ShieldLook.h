#pragma once

#include "Foundation/ProtectionState.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// How the shield pictures present a protection state: the accessibility label (the protection
// screen's title for that state), the brand shield's opacity and the menu-bar symbol.
struct ShieldLook
{
    QString label;
    qreal brandOpacity;
    QString menuBarSymbol;
};

ShieldLook shieldLook(ProtectionState state);

// The menu-bar icon of a state: its symbol, drawn as a template image on macOS (the menu bar
// colours it) and in the brand green elsewhere.
QIcon menuBarIcon(ProtectionState state);

// The per-state looks for QML, where a protection state arrives as its enumeration value.
class ShieldLooks : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString label(int state) const;
    Q_INVOKABLE qreal brandOpacity(int state) const;
};

} // namespace Vetron
