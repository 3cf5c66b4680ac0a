#include "Views/SettingsLook.h"

using namespace Qt::StringLiterals;

namespace Vetron::SettingsLook {

const QList<DataCategory> &dataCategories()
{
    static const QList<DataCategory> categories {
        { u"names"_s, u"Имена и ФИО"_s, u"Фамилии, имена, отчества."_s },
        { u"contacts"_s, u"Почта и телефоны"_s, u"Адреса электронной почты и номера телефонов."_s },
        { u"addresses"_s, u"Адреса и организации"_s, u"Города, адреса, названия компаний."_s },
        { u"documents"_s, u"Документы и реквизиты"_s, u"СНИЛС, паспорт, ИНН, ОГРН, номера счетов."_s },
        { u"cards"_s, u"Банковские карты"_s, u"Номера платёжных карт."_s },
        { u"network"_s, u"Сетевые данные"_s, u"IP-адреса и ссылки."_s },
        { u"secrets"_s, u"Ключи и токены"_s, u"API-ключи, секреты, токены доступа."_s },
    };
    return categories;
}

const QList<RetentionOption> &retentionOptions()
{
    static const QList<RetentionOption> options {
        { 7, u"7 дней"_s },
        { 30, u"30 дней"_s },
        { 90, u"90 дней"_s },
        { 180, u"Полгода"_s },
        { 365, u"1 год"_s },
        { 0, u"Не удалять автоматически"_s },
    };
    return options;
}

QString retentionLabel(qint64 days)
{
    for (const RetentionOption &option : retentionOptions()) {
        if (option.days == days)
            return option.label;
    }
    return u"%1 дней"_s.arg(days);
}

QStringList disabledCategoriesAfter(const QStringList &disabled, const QString &key, bool enabled)
{
    QStringList result = disabled;
    if (enabled)
        result.removeAll(key);
    else if (!result.contains(key))
        result.append(key);
    return result;
}

QString subscriptionLine(bool accountLoaded, const std::optional<SubscriptionInfo> &subscription)
{
    if (!accountLoaded)
        return u"Загружаем статистику…"_s;
    if (!subscription)
        return u"Нет активной подписки"_s;
    return u"Подписка активна до "_s + subscription->periodEnd.toLocalTime().toString(u"dd.MM.yy"_s);
}

int retentionIndex(qint64 days)
{
    const QList<RetentionOption> &options = retentionOptions();
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options.at(i).days == days)
            return int(i);
    }
    return -1;
}

ProtectionSettings withRetentionChoice(ProtectionSettings settings, int index)
{
    if (index >= 0 && index < retentionOptions().size())
        settings.retentionDays = retentionOptions().at(index).days;
    return settings;
}

QList<UsageFigure> usageFigures(const UsageResponse &usage)
{
    return { { QString::number(usage.requests), u"запросов"_s },
        { QString::number(usage.maskedEntities), u"замен"_s },
        { QString::number(usage.blocked), u"остановлено"_s } };
}

} // namespace Vetron::SettingsLook

namespace Vetron {

QStringList SettingsLookForViews::retentionLabels() const
{
    QStringList labels;
    for (const SettingsLook::RetentionOption &option : SettingsLook::retentionOptions())
        labels.append(option.label);
    return labels;
}

QString SettingsLookForViews::subscriptionLine(
    bool accountLoaded, const SubscriptionInfo &subscription, bool hasSubscription) const
{
    return SettingsLook::subscriptionLine(
        accountLoaded, hasSubscription ? std::optional(subscription) : std::nullopt);
}

} // namespace Vetron
