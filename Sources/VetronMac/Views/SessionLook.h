#pragma once

#include "Foundation/Models.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The session screens' texts and rules.
namespace SessionLook {

// A moment as the session screens show it: numeric date and short time, Russian conventions,
// in the system's time zone ("05.03.2026, 14:07").
QString localDateTimeText(const QDateTime &moment);

// The session's title, or "Сессия " and its creation time when it has none.
QString sessionTitle(const ProtectedSession &session);
QString lastUsedLine(const ProtectedSession &session);
// The list row's third line: the counts, or the bypass note for a session passed unchanged.
QString countsLine(const ProtectedSession &session);
// The detail screen's three lines: created, last used, requests and replacements.
QString sessionFacts(const ProtectedSession &session);
// A rename needs a name that is not blank, and no operation running.
bool canRename(const QString &title, bool busy);
QString revealLabel(bool busy);

} // namespace SessionLook

// Paging of the session list, ten to a page. `page` is the screen's stored page number, which
// may lie past the end after the list shrank; what is shown is always a page that exists.
namespace SessionPaging {
inline constexpr int pageSize = 10;
int pageCount(qsizetype sessions);
int clampedPage(int page, qsizetype sessions);
// First row and one past the last row shown for `page`.
std::pair<qsizetype, qsizetype> rows(int page, qsizetype sessions);
QString pagerText(int page, qsizetype sessions);
} // namespace SessionPaging

// The same for QML.
class SessionLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(SessionLook)
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString title(const Vetron::ProtectedSession &session) const
    {
        return SessionLook::sessionTitle(session);
    }
    Q_INVOKABLE QString lastUsed(const Vetron::ProtectedSession &session) const
    {
        return SessionLook::lastUsedLine(session);
    }
    Q_INVOKABLE QString counts(const Vetron::ProtectedSession &session) const
    {
        return SessionLook::countsLine(session);
    }
    Q_INVOKABLE QString facts(const Vetron::ProtectedSession &session) const
    {
        return SessionLook::sessionFacts(session);
    }
    Q_INVOKABLE bool canRename(const QString &title, bool busy) const
    {
        return SessionLook::canRename(title, busy);
    }
    Q_INVOKABLE QString revealLabel(bool busy) const { return SessionLook::revealLabel(busy); }
};

} // namespace Vetron
