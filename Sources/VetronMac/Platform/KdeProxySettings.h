#pragma once

#include "Platform/ToolPaths.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace Vetron {

// Plasma's proxy settings: the group "Proxy Settings" of "kioslaverc" in the user's configuration
// folder, written and read with kwriteconfig5 and kreadconfig5 as Plasma's own settings page
// leaves them, so that KDE programs pick them up after the reload signal.
class KdeProxySettings
{
public:
    // A key and its value; none for a key that is absent from the file.
    using Change = std::pair<QString, std::optional<QString>>;

    explicit KdeProxySettings(ToolPaths tools);

    // "ProxyType", "httpProxy", "httpsProxy".
    static const QStringList &keys();
    // Manual proxies, both at 127.0.0.1 and `port`.
    static QList<Change> ourValues(quint16 port);

    // The key's value, or none when the file does not have it.
    QCoro::Task<std::optional<QString>> read(QString key) const;
    // Writes the values and deletes the keys without one, in order; throws ProcessError at the
    // first the tool refuses (an administrator's lock on the group, say).
    QCoro::Task<> write(QList<Change> changes) const;
    // Whether every key holds `changes`' value, or is absent where it has none.
    QCoro::Task<bool> holds(QList<Change> changes) const;

    // Tells the running KDE programs to read their proxy settings again (a signal on the session
    // bus; nothing happens without one).
    static void announceChange();

private:
    ToolPaths m_tools;
};

} // namespace Vetron
