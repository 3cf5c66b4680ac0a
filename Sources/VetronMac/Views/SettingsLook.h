#pragma once

#include "Foundation/Models.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace Vetron {

// One kind of personal data the protection server can replace; `key` is what the settings'
// disabled list stores.
struct DataCategory
{
    Q_GADGET
    QML_VALUE_TYPE(dataCategory)
    Q_PROPERTY(QString key MEMBER key)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QString hint MEMBER hint)

public:
    QString key;
    QString title;
    QString hint;
};

// One figure of the statistics card: the number as the card shows it, and what it counts.
struct UsageFigure
{
    Q_GADGET
    QML_VALUE_TYPE(usageFigure)
    Q_PROPERTY(QString number MEMBER number)
    Q_PROPERTY(QString label MEMBER label)

public:
    QString number;
    QString label;

    friend bool operator==(const UsageFigure &, const UsageFigure &) = default;
};

// The settings screen's tables and rules.
namespace SettingsLook {

// The seven categories, in the order the settings screen lists them.
const QList<DataCategory> &dataCategories();

// One choice of how long substitution maps are kept; 0 days means never deleted automatically.
struct RetentionOption
{
    qint64 days;
    QString label;
};

const QList<RetentionOption> &retentionOptions();
// The label of the choice for `days`; a count that is no choice reads "N дней".
QString retentionLabel(qint64 days);
// The disabled list after switching the category `key` on or off: only `key` is removed or added
// (at the end); every other entry, also one this client does not know, stays where it was.
QStringList disabledCategoriesAfter(const QStringList &disabled, const QString &key, bool enabled);
// The statistics card's line: loading, no subscription, or the paid period's end.
QString subscriptionLine(bool accountLoaded, const std::optional<SubscriptionInfo> &subscription);
// The menu position of `days`, or -1 when it is none of the choices.
int retentionIndex(qint64 days);
// `settings` with the retention period of the menu's choice `index`; unchanged for an index
// outside the menu.
ProtectionSettings withRetentionChoice(ProtectionSettings settings, int index);
// The statistics card's three figures: requests, replacements, requests stopped.
QList<UsageFigure> usageFigures(const UsageResponse &usage);

} // namespace SettingsLook

// The same for QML.
class SettingsLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsLook)
    QML_SINGLETON
    // In table order.
    Q_PROPERTY(QList<Vetron::DataCategory> categories READ categories CONSTANT)
    // The picker's menu, in order.
    Q_PROPERTY(QStringList retentionLabels READ retentionLabels CONSTANT)

public:
    using QObject::QObject;

    QList<DataCategory> categories() const { return SettingsLook::dataCategories(); }
    QStringList retentionLabels() const;

    // The settings' retention period as the picker names it.
    Q_INVOKABLE QString retentionLabel(const Vetron::ProtectionSettings &settings) const
    {
        return SettingsLook::retentionLabel(settings.retentionDays);
    }
    Q_INVOKABLE int retentionIndex(const Vetron::ProtectionSettings &settings) const
    {
        return SettingsLook::retentionIndex(settings.retentionDays);
    }
    Q_INVOKABLE Vetron::ProtectionSettings withRetentionChoice(
        const Vetron::ProtectionSettings &settings, int index) const
    {
        return SettingsLook::withRetentionChoice(settings, index);
    }
    Q_INVOKABLE QList<Vetron::UsageFigure> usageFigures(const Vetron::UsageResponse &usage) const
    {
        return SettingsLook::usageFigures(usage);
    }
    Q_INVOKABLE QStringList disabledCategoriesAfter(
        const QStringList &disabled, const QString &key, bool enabled) const
    {
        return SettingsLook::disabledCategoriesAfter(disabled, key, enabled);
    }
    // `subscription` is the model's, present when `hasSubscription` is true.
    Q_INVOKABLE QString subscriptionLine(
        bool accountLoaded, const Vetron::SubscriptionInfo &subscription, bool hasSubscription) const;
};

} // namespace Vetron
