#pragma once

#include "Foundation/Cancellation.h"
#include "Platform/GnomeProxySettings.h"
#include "Protection/SystemProxy.h"

#include <functional>
#include <memory>
#include <optional>

namespace Vetron {

// A Linux desktop's proxy settings, switched by the user's own rights (no password): the
// GSettings proxy keys (mode "manual", web and secure-web host 127.0.0.1 and the tunnel's port),
// which GNOME and its relatives, Firefox and Chromium read. The user's value of each key, or
// that the user never set it, is saved to "desktop-proxy-backup.json" before the first change;
// "desktop-proxy-owned" names the port. Fail-closed: keys an administrator has locked, settings
// that no program would read, or a write that does not read back fail the switch-on with
// nothing changed. While the switch is ours, a change another program makes to these keys is
// undone at once.
class DesktopProxyService : public SystemProxy
{
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString &line)>;

    // `log` receives what a restore could not put back exactly and the undone changes of other
    // programs; the system log when empty.
    explicit DesktopProxyService(QObject *parent = nullptr, LogFunction log = {});
    ~DesktopProxyService() override;

    QCoro::Task<> enable(quint16 port) override;
    QCoro::Task<> restore() override;

    // The values that point the desktop at 127.0.0.1 and `port`, in GVariant text.
    static QList<GnomeProxySettings::Change> ourValues(quint16 port);

private:
    GnomeProxySettings &settings();
    bool holdsOurs(quint16 port) const;
    // Writes `changes` and waits until dconf has them; false when this switch was overtaken
    // meanwhile (another began, or the service is gone).
    QCoro::Task<bool> writeAndSync(QList<GnomeProxySettings::Change> changes);
    void takeBack();
    void log(const QString &line) const;

    LogFunction m_log;
    std::unique_ptr<GnomeProxySettings> m_settings;
    std::optional<quint16> m_held; // the port while the switch is ours and switched on
    quint64 m_turn = 0;            // counts enable and restore calls; a later one wins
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
