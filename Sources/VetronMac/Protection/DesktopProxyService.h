#pragma once

#include "Foundation/Cancellation.h"
#include "Platform/GnomeProxySettings.h"
#include "Platform/KdeProxySettings.h"
#include "Protection/SystemProxy.h"

#include <functional>
#include <memory>
#include <optional>

namespace Vetron {

// A Linux desktop's proxy settings, switched by the user's own rights (no password): the
// GSettings proxy keys (mode "manual", web and secure-web host 127.0.0.1 and the tunnel's port),
// which GNOME and its relatives, Firefox and Chromium read, and on Plasma also KDE's own. The
// user's value of each key, or that the user never set it, is saved to
// "desktop-proxy-backup.json" before the first change; "desktop-proxy-owned" names the port.
// Fail-closed: keys an administrator has locked, settings that no program would read, or a write
// that does not read back fail the switch-on, with whatever was written already put back. While
// the switch is ours, a change another program makes to the GSettings keys is undone at once.
class DesktopProxyService : public SystemProxy
{
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString &line)>;

    // `log` receives what a restore could not put back exactly and the undone changes of other
    // programs; the system log when empty.
    // `plasma`: KDE's settings are switched too.
    explicit DesktopProxyService(
        ToolPaths tools, bool plasma, QObject *parent = nullptr, LogFunction log = {});
    ~DesktopProxyService() override;

    QCoro::Task<> enable(quint16 port) override;
    QCoro::Task<> restore() override;

    // The values that point the desktop at 127.0.0.1 and `port`, in GVariant text.
    static QList<GnomeProxySettings::Change> ourValues(quint16 port);
    // Whether the session's desktop is Plasma, from XDG_CURRENT_DESKTOP.
    static bool sessionIsPlasma();

private:
    GnomeProxySettings &settings();
    bool holdsOurs(quint16 port) const;
    QCoro::Task<> switchOn(quint16 port);
    // Puts the backup back (or, without one, switches off what points at our port) and removes
    // both files; only the keys that differ are written.
    QCoro::Task<> putBack();
    // Writes `changes` and waits until dconf has them; false when this switch was overtaken
    // meanwhile (another began, or the service is gone).
    QCoro::Task<bool> writeAndSync(QList<GnomeProxySettings::Change> changes);
    void takeBack();
    void log(const QString &line) const;

    LogFunction m_log;
    KdeProxySettings m_kde;
    bool m_plasma;
    std::unique_ptr<GnomeProxySettings> m_settings;
    std::optional<quint16> m_held; // the port while the switch is ours and switched on
    quint64 m_turn = 0;            // counts enable and restore calls; a later one wins
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
