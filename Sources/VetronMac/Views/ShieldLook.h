#pragma once

#include "Foundation/ProtectionState.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

namespace ShieldLook {

// How the shield pictures present a protection state: the accessibility label (the protection
// screen's title for that state), the brand shield's opacity and the menu-bar symbol.
struct Presentation
{
    QString label;
    qreal brandOpacity;
    QString menuBarSymbol;
};

Presentation of(ProtectionState state);

// The menu-bar icon of a state: its symbol, drawn as a template image on macOS (the menu bar
// colours it) and in the brand green elsewhere.
QIcon menuBarIcon(ProtectionState state);

} // namespace ShieldLook

// The same for QML, given the model's `state`.
class ShieldLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(ShieldLook)
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString label(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE qreal brandOpacity(Vetron::ProtectionStateForViews::Value state) const;
};

} // namespace Vetron
