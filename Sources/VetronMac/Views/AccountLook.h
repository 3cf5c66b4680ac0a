#pragma once

#include "Foundation/Models.h"

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QTimeZone>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace Vetron {

// What the account screen says about the portal's summary: the subscription line, the days left
// and the device line. Dates and numbers in the Russian form, dates in the system's time zone.
namespace AccountLook {

// The label of a subscription status; a status it does not know is shown as it came.
QString statusLabel(const QString &status);
// "Нет активной подписки", or the status label, " · до " and the end date as dd.MM.yy in `zone`.
QString subscriptionText(
    const std::optional<SubscriptionInfo> &subscription, const QTimeZone &zone = QTimeZone::systemTimeZone());
// Whole days from `now` to the end of the period, a started day counting as one; none without a
// subscription or below one day.
std::optional<qint64> daysLeft(const std::optional<SubscriptionInfo> &subscription,
    const QDateTime &now = QDateTime::currentDateTimeUtc());
// The capsule's text: the number and " дней", whatever the number.
QString daysLeftText(qint64 days);
// The device's name, or "Компьютер" without a device, followed by " · macOS".
QString deviceLine(const std::optional<DeviceInfo> &device);

} // namespace AccountLook

// The same for QML, where the subscription and the device arrive as the model's values with the
// flags that say whether there is one.
class AccountLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(AccountLook)
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString subscriptionText(
        const Vetron::SubscriptionInfo &subscription, bool hasSubscription) const;
    // The capsule's text, or empty when no capsule is shown.
    Q_INVOKABLE QString daysLeftText(
        const Vetron::SubscriptionInfo &subscription, bool hasSubscription) const;
    Q_INVOKABLE QString deviceLine(const Vetron::DeviceInfo &device, bool hasDevice) const;
    // The loading block's text: muted while a load runs, in the danger colour after a failure.
    Q_INVOKABLE QColor messageColour(bool busy) const;
};

} // namespace Vetron
