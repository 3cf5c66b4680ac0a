#include "Platform/DesktopNotifier.h"

#include "Platform/SystemLog.h"

#include <QPointer>

#ifndef Q_OS_MACOS
#include <QCoroDBusPendingCall>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#endif

using namespace Qt::StringLiterals;

namespace Vetron {

DesktopNotifier::DesktopNotifier(Log log, QObject *parent)
    : QObject(parent)
    , m_log(log ? std::move(log) : Platform::writeSystemLog)
{
    connectToDesktop();
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::show(const QString &title, const QString &body)
{
    m_wanted = Notice { title, body };
    deliver();
}

void DesktopNotifier::withdraw()
{
    if (!m_wanted)
        return;
    m_wanted.reset();
    deliver();
}

void DesktopNotifier::closedOnDesktop(uint id, uint reason)
{
    // 3: closed by our own call, already forgotten.
    if (id == 0 || id != m_id || reason == 3)
        return;
    m_id = 0;
    m_wanted.reset();
    Q_EMIT dismissed();
}

#ifndef Q_OS_MACOS
namespace {

const QString service = u"org.freedesktop.Notifications"_s;
const QString path = u"/org/freedesktop/Notifications"_s;

QDBusMessage call(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, service, method);
    message.setArguments(arguments);
    return message;
}

} // namespace

void DesktopNotifier::connectToDesktop()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(service, path, service, u"NotificationClosed"_s, this, SLOT(closedOnDesktop(uint, uint)));
}

void DesktopNotifier::deliver()
{
    m_changed = true;
    if (!m_sending)
        sendChanges();
}

QCoro::Task<> DesktopNotifier::sendChanges()
{
    QPointer self(this);
    m_sending = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    while (self && m_changed) {
        m_changed = false;
        if (!bus.isConnected()) {
            unavailable(bus.lastError().message());
            continue;
        }
        if (!m_wanted) {
            // Nothing comes back that matters: the notification is gone either way.
            if (m_id != 0)
                bus.send(call(u"CloseNotification"_s, { m_id }));
            m_id = 0;
            continue;
        }
        if (!m_markup) {
            const QDBusPendingCall asked = bus.asyncCall(call(u"GetCapabilities"_s));
            const QDBusMessage capabilities = co_await asked;
            if (!self)
                co_return;
            if (capabilities.type() != QDBusMessage::ReplyMessage) {
                unavailable(capabilities.errorMessage());
                continue;
            }
            m_markup = capabilities.arguments().value(0).toStringList().contains(u"body-markup"_s);
            if (!m_wanted)
                continue;
        }
        // A desktop that reads markup in bodies gets our plain text escaped.
        const QString body = *m_markup ? m_wanted->body.toHtmlEscaped() : m_wanted->body;
        const QVariantMap hints { { u"desktop-entry"_s, u"vetron"_s } };
        const QVariantList arguments { u"Ветрон"_s, m_id, u"vetron"_s, m_wanted->title, body, QStringList(),
            hints, -1 };
        const QDBusPendingCall sent = bus.asyncCall(call(u"Notify"_s, arguments));
        const QDBusMessage reply = co_await sent;
        if (!self)
            co_return;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            m_id = 0;
            m_markup.reset(); // another service may answer next time
            unavailable(reply.errorMessage());
            continue;
        }
        m_id = reply.arguments().value(0).toUInt();
    }
    if (self)
        m_sending = false;
}

void DesktopNotifier::unavailable(const QString &reason)
{
    if (m_reportedUnavailable)
        return;
    m_reportedUnavailable = true;
    m_log(u"Ветрон: уведомления на рабочем столе недоступны — "_s + reason);
}
#endif

} // namespace Vetron
