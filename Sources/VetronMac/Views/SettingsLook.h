#pragma once

#include "Foundation/Models.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace Vetron {

// One kind of personal data the protection server can replace; `key` is what the settings'
// disabled list stores.
struct DataCategory
{
    QString key;
    QString title;
    QString hint;
};

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

// The settings screen's tables and texts for QML.
class SettingsLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(SettingsLook)
    QML_SINGLETON
    // [{key, title, hint}, …] in table order.
    Q_PROPERTY(QVariantList categories READ categories CONSTANT)
    // [{days, label}, …] in menu order.
    Q_PROPERTY(QVariantList retentionChoices READ retentionChoices CONSTANT)

public:
    using QObject::QObject;

    QVariantList categories() const;
    QVariantList retentionChoices() const;

    // The settings' retention period as the picker names it.
    Q_INVOKABLE QString retentionLabel(const Vetron::ProtectionSettings &settings) const
    {
        return Vetron::retentionLabel(settings.retentionDays);
    }
    // The menu position of the settings' retention period, or -1 when it is none of the choices.
    Q_INVOKABLE int retentionIndex(const Vetron::ProtectionSettings &settings) const;
    // The statistics card's three figures, [{number, label}, …]: the number as the card shows it.
    Q_INVOKABLE QVariantList usageFigures(const Vetron::UsageResponse &usage) const;
    Q_INVOKABLE QStringList disabledCategoriesAfter(
        const QStringList &disabled, const QString &key, bool enabled) const
    {
        return Vetron::disabledCategoriesAfter(disabled, key, enabled);
    }
    // `subscription` is the model's, present when `hasSubscription` is true.
    Q_INVOKABLE QString subscriptionLine(
        bool accountLoaded, const Vetron::SubscriptionInfo &subscription, bool hasSubscription) const;
};

} // namespace Vetron
