#include "Platform/TrayHost.h"

#include <QPointer>

#ifdef Q_OS_MACOS
#include <QSystemTrayIcon>
#else
#include <QCoroDBusPendingCall>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#endif

using namespace Qt::StringLiterals;

namespace Vetron {

TrayHost::TrayHost(QObject *parent)
    : QObject(parent)
{
}

void TrayHost::setPresent()
{
    if (m_present)
        return;
    m_present = true;
    Q_EMIT appeared();
}

#ifdef Q_OS_MACOS
void TrayHost::watch()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        setPresent();
}
#else
namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;

} // namespace

void TrayHost::watch()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *watcher
        = new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { askWatcher(); });
    // A watcher that is there before its host (the panel still starting) says when the host comes.
    bus.connect(watcherService, watcherPath, watcherService, u"StatusNotifierHostRegistered"_s, this,
        SLOT(setPresent()));
    askWatcher();
}

QCoro::Task<> TrayHost::askWatcher()
{
    QPointer self(this);
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get.setArguments({ watcherService, u"IsStatusNotifierHostRegistered"_s });
    const QDBusPendingCall asked = QDBusConnection::sessionBus().asyncCall(get);
    const QDBusMessage reply = co_await asked;
    // No watcher yet is the usual answer: the service watcher tells when one comes.
    if (!self || reply.type() != QDBusMessage::ReplyMessage)
        co_return;
    if (reply.arguments().value(0).value<QDBusVariant>().variant().toBool())
        setPresent();
}
#endif

} // namespace Vetron
