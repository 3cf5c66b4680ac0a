#pragma once

#include "Updates/UpdateScreenState.h"

#include <QColor>
#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The updates screen's looks for QML, given the model's `updateState`:
// `UpdateLook.card(model.updateState)`. The rules themselves are in the namespace below.
class UpdateLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(UpdateLook)
    QML_SINGLETON

public:
    enum Card { ActionCard, ProgressCard, StatusCard, ReleaseCard };
    Q_ENUM(Card)
    // The last line of the release card: the install button, the installation's progress, or the
    // note that it is done; none outside the release card.
    enum ReleaseFooter { NoFooter, InstallButton, Installing, Installed };
    Q_ENUM(ReleaseFooter)

    using QObject::QObject;

    Q_INVOKABLE Card card(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString checkLabel(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString statusTitle(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString statusText(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString statusSymbol(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QColor statusTint(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString releaseHeading(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString releaseTitle(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QStringList releaseNotes(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE ReleaseFooter releaseFooter(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString releaseFooterText(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString installingNote(const Vetron::UpdateScreenState &state) const;
    Q_INVOKABLE QString installedVersionText(const QString &version) const;
};

// What the updates screen shows for each update state: which card, its texts and symbol, the
// release's title and notes with their stand-ins, and how the release card ends.
namespace UpdateLook {

using Card = UpdateLookForViews::Card;
using ReleaseFooter = UpdateLookForViews::ReleaseFooter;

Card card(UpdateScreenState::Kind kind);
// The check button: "Проверить обновления" before any check, "Проверить ещё раз" after a failed
// or an empty one; empty where no check is offered.
QString checkLabel(UpdateScreenState::Kind kind);
// The status card's title and text; its symbol and the symbol's colour: the platform's orange
// warning triangle after a failure, its green check mark otherwise.
QString statusTitle(UpdateScreenState::Kind kind);
QString statusText(const UpdateScreenState &state);
QString statusSymbol(UpdateScreenState::Kind kind);
QColor statusTint(UpdateScreenState::Kind kind);
QString releaseHeading(const MacReleaseManifest &manifest);
// The release's title, or the general one when it has none.
QString releaseTitle(const MacReleaseManifest &manifest);
// The release notes in order; one general note when the release has none at all (an empty list
// stays empty).
QStringList releaseNotes(const MacReleaseManifest &manifest);
ReleaseFooter releaseFooter(UpdateScreenState::Kind kind);
// The text of the installing and installed lines; empty otherwise.
QString releaseFooterText(UpdateScreenState::Kind kind);
// A note under the installation's progress (why the application does not close yet); empty
// otherwise.
QString installingNote(const UpdateScreenState &state);
QString installedVersionText(const QString &version);

} // namespace UpdateLook

} // namespace Vetron
