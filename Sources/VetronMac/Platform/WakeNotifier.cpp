#include "Platform/WakeNotifier.h"

#ifndef Q_OS_MACOS
#include <QDBusConnection>
#endif

using namespace Qt::StringLiterals;

namespace Vetron {

WakeNotifier::WakeNotifier(QObject *parent)
    : QObject(parent)
{
}

void WakeNotifier::prepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        Q_EMIT systemDidWake();
}

#ifndef Q_OS_MACOS
bool WakeNotifier::subscribeToSystem()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    return bus.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
        u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, this, SLOT(prepareForSleep(bool)));
}
#endif

} // namespace Vetron
