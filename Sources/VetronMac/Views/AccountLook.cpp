#include "Views/AccountLook.h"

#include "Views/Theme.h"

#include <QLocale>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QLocale russian(QLocale::Russian, QLocale::Russia);

template<typename T> std::optional<T> presentOnly(const T &value, bool present)
{
    return present ? std::optional<T>(value) : std::nullopt;
}

} // namespace

namespace AccountLook {

QString statusLabel(const QString &status)
{
    if (status == u"active" || status == u"trialing")
        return u"Активна"_s;
    if (status == u"past_due")
        return u"Ожидает продления"_s;
    if (status == u"suspended")
        return u"Приостановлена"_s;
    if (status == u"expired")
        return u"Истекла"_s;
    return status;
}

QString subscriptionText(const std::optional<SubscriptionInfo> &subscription, const QTimeZone &zone)
{
    if (!subscription)
        return u"Нет активной подписки"_s;
    return statusLabel(subscription->status) + u" · до "_s
        + russian.toString(subscription->periodEnd.toTimeZone(zone), u"dd.MM.yy"_s);
}

std::optional<qint64> daysLeft(const std::optional<SubscriptionInfo> &subscription, const QDateTime &now)
{
    if (!subscription)
        return std::nullopt;
    const double days = std::ceil(double(now.msecsTo(subscription->periodEnd)) / (86'400.0 * 1000.0));
    if (days < 1)
        return std::nullopt;
    return qint64(days);
}

QString daysLeftText(qint64 days)
{
    return russian.toString(days) + u" дней"_s;
}

QString deviceLine(const std::optional<DeviceInfo> &device)
{
    return (device ? device->name : u"Компьютер"_s) + u" · macOS"_s;
}

} // namespace AccountLook

QString AccountLookForViews::subscriptionText(
    const SubscriptionInfo &subscription, bool hasSubscription) const
{
    return AccountLook::subscriptionText(presentOnly(subscription, hasSubscription));
}

QString AccountLookForViews::daysLeftText(const SubscriptionInfo &subscription, bool hasSubscription) const
{
    const auto days = AccountLook::daysLeft(presentOnly(subscription, hasSubscription));
    return days ? AccountLook::daysLeftText(*days) : QString();
}

QString AccountLookForViews::deviceLine(const DeviceInfo &device, bool hasDevice) const
{
    return AccountLook::deviceLine(presentOnly(device, hasDevice));
}

QColor AccountLookForViews::messageColour(bool busy) const
{
    return busy ? Theme::muted() : Theme::danger();
}

} // namespace Vetron
