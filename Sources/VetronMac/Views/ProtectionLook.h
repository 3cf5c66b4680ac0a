#pragma once

#include "Foundation/MainSection.h"
#include "Foundation/ProtectionState.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

namespace ProtectionLook {

// How the protection screen presents a state: its texts, its tint (halo and action button), and
// whether it is the live state (mint action button, expanding rings).
struct Presentation
{
    QString title;
    QString subtitle;
    QString actionLabel;
    QColor tint;
    bool live;
};

Presentation of(ProtectionState state);

// The action can be pressed unless an operation runs; "Подключение…" never can.
bool actionEnabled(ProtectionState state, bool busy);
// While blocked the action retries, and a second one switches protection off: the proxies that
// keep traffic from going out unprotected are undone only by a switch-off.
bool switchOffOffered(ProtectionState state);
// The detail line shows only a blocked state's own explanation: not empty, not the title again.
bool detailShown(ProtectionState state, const QString &detail);
// A header button is selected while its section is shown; protection and sessions have none.
bool sectionButtonSelected(MainSection shown, MainSection button);

// One expanding ring of the live shield at a point of its cycle.
struct Ring
{
    qreal scale;
    qreal opacity;
};

// Where the two-second ring cycle stands at `msSinceEpoch`: a value in [0, 1).
qreal ringPhase(qint64 msSinceEpoch);
// The ring `offset` of a cycle into the cycle (0 and 0.5 for the two rings) at `phase`: it grows
// from the halo's edge to 1.22 times its size while it fades out from half opacity.
Ring ring(qreal offset, qreal phase);
// The rings redraw only while they are shown and the window can be seen.
bool ringsAnimate(ProtectionState state, bool windowVisible, bool windowMinimised);

} // namespace ProtectionLook

// The same rules for QML, given the model's `state` and `section`.
class ProtectionLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(ProtectionLook)
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString title(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE QString subtitle(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE QString actionLabel(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE QColor tint(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE bool live(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE bool actionEnabled(Vetron::ProtectionStateForViews::Value state, bool busy) const;
    Q_INVOKABLE bool switchOffOffered(Vetron::ProtectionStateForViews::Value state) const;
    Q_INVOKABLE bool detailShown(Vetron::ProtectionStateForViews::Value state, const QString &detail) const;
    Q_INVOKABLE bool sectionButtonSelected(
        Vetron::MainSectionForViews::Value shown, Vetron::MainSectionForViews::Value button) const;
    // `now` is a JavaScript Date's milliseconds.
    Q_INVOKABLE qreal ringPhase(double now) const;
    Q_INVOKABLE qreal ringScale(qreal offset, qreal phase) const;
    Q_INVOKABLE qreal ringOpacity(qreal offset, qreal phase) const;
    // `visibility` is the window's QWindow::Visibility (Hidden while there is no window).
    Q_INVOKABLE bool ringsAnimate(Vetron::ProtectionStateForViews::Value state, int visibility) const;
};

} // namespace Vetron
