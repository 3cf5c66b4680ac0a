#include "Foundation/Models.h"

using namespace Qt::StringLiterals;

namespace Vetron {

ClientConfig ClientConfig::decode(const JsonReader &r)
{
    return {
        .sshHost = r.required<QString>(u"ssh_host"),
        .sshUser = r.required<QString>(u"ssh_user"),
        .sshPort = r.required<qint64>(u"ssh_port"),
        .localPort = r.required<qint64>(u"local_port"),
        .remotePort = r.required<qint64>(u"remote_port"),
        .unlockHost = r.required<QString>(u"unlock_host"),
    };
}

QJsonObject ClientConfig::toJson() const
{
    return JsonWriter()
        .put(u"ssh_host"_s, sshHost)
        .put(u"ssh_user"_s, sshUser)
        .put(u"ssh_port"_s, sshPort)
        .put(u"local_port"_s, localPort)
        .put(u"remote_port"_s, remotePort)
        .put(u"unlock_host"_s, unlockHost)
        .object();
}

EnrollmentResult EnrollmentResult::decode(const JsonReader &r)
{
    return { ClientConfig::decode(r), r.required<QString>(u"ca_pem"), r.optional<QString>(u"device_token") };
}

QJsonObject EnrollmentResult::toJson() const
{
    return JsonWriter(ClientConfig::toJson())
        .put(u"ca_pem"_s, caPEM)
        .put(u"device_token"_s, deviceToken)
        .object();
}

ProtectionSettings ProtectionSettings::decode(const JsonReader &r)
{
    return {
        .retentionDays = r.required<qint64>(u"retention_days"),
        .crossSession = r.required<bool>(u"cross_session"),
        .disabledCategories = r.required<QList<QString>>(u"disabled_categories"),
    };
}

QJsonObject ProtectionSettings::toJson() const
{
    return JsonWriter()
        .put(u"retention_days"_s, retentionDays)
        .put(u"cross_session"_s, crossSession)
        .put(u"disabled_categories"_s, disabledCategories)
        .object();
}

DeviceInfo DeviceInfo::decode(const JsonReader &r)
{
    return {
        .name = r.required<QString>(u"name"),
        .platform = r.optional<QString>(u"platform"),
        .status = r.required<QString>(u"status"),
    };
}

QJsonObject DeviceInfo::toJson() const
{
    return JsonWriter().put(u"name"_s, name).put(u"platform"_s, platform).put(u"status"_s, status).object();
}

SubscriptionInfo SubscriptionInfo::decode(const JsonReader &r)
{
    return {
        .status = r.required<QString>(u"status"),
        .periodEnd = r.required<QDateTime>(u"period_end"),
    };
}

QJsonObject SubscriptionInfo::toJson() const
{
    return JsonWriter().put(u"status"_s, status).put(u"period_end"_s, periodEnd).object();
}

UsageResponse UsageResponse::decode(const JsonReader &r)
{
    return {
        .requests = r.required<qint64>(u"requests"),
        .maskedEntities = r.required<qint64>(u"masked_entities"),
        .blocked = r.required<qint64>(u"blocked"),
    };
}

QJsonObject UsageResponse::toJson() const
{
    return JsonWriter()
        .put(u"requests"_s, requests)
        .put(u"masked_entities"_s, maskedEntities)
        .put(u"blocked"_s, blocked)
        .object();
}

DeviceSummary DeviceSummary::decode(const JsonReader &r)
{
    return {
        .device = r.required<DeviceInfo>(u"device"),
        .subscription = r.optional<SubscriptionInfo>(u"subscription"),
        .usage = r.required<UsageResponse>(u"usage"),
    };
}

QJsonObject DeviceSummary::toJson() const
{
    return JsonWriter()
        .put(u"device"_s, device)
        .put(u"subscription"_s, subscription)
        .put(u"usage"_s, usage)
        .object();
}

ProtectedSession ProtectedSession::decode(const JsonReader &r)
{
    return {
        .id = r.required<QString>(u"id"),
        .kind = r.required<QString>(u"kind"),
        .title = r.required<QString>(u"title"),
        .createdAt = r.required<double>(u"created_at"),
        .lastUsedAt = r.required<double>(u"last_used_at"),
        .requests = r.required<qint64>(u"requests"),
        .replacements = r.required<qint64>(u"replacements"),
        .bypass = r.required<bool>(u"bypass"),
    };
}

QJsonObject ProtectedSession::toJson() const
{
    return JsonWriter()
        .put(u"id"_s, id)
        .put(u"kind"_s, kind)
        .put(u"title"_s, title)
        .put(u"created_at"_s, createdAt)
        .put(u"last_used_at"_s, lastUsedAt)
        .put(u"requests"_s, requests)
        .put(u"replacements"_s, replacements)
        .put(u"bypass"_s, bypass)
        .object();
}

size_t qHash(const ProtectedSession &s, size_t seed) noexcept
{
    return qHashMulti(
        seed, s.id, s.kind, s.title, s.createdAt, s.lastUsedAt, s.requests, s.replacements, s.bypass);
}

ProtectedMapping ProtectedMapping::decode(const JsonReader &r)
{
    return {
        .placeholder = r.required<QString>(u"placeholder"),
        .original = r.required<QString>(u"original"),
    };
}

QJsonObject ProtectedMapping::toJson() const
{
    return JsonWriter().put(u"placeholder"_s, placeholder).put(u"original"_s, original).object();
}

size_t qHash(const ProtectedMapping &m, size_t seed) noexcept
{
    return qHashMulti(seed, m.placeholder, m.original);
}

ProtectedSessionDetail ProtectedSessionDetail::decode(const JsonReader &r)
{
    return { ProtectedSession::decode(r), r.required<QList<ProtectedMapping>>(u"mapping") };
}

QJsonObject ProtectedSessionDetail::toJson() const
{
    return JsonWriter(ProtectedSession::toJson()).put(u"mapping"_s, mapping).object();
}

ProtectedSessionsResponse ProtectedSessionsResponse::decode(const JsonReader &r)
{
    return { .sessions = r.required<QList<ProtectedSession>>(u"sessions") };
}

QJsonObject ProtectedSessionsResponse::toJson() const
{
    return JsonWriter().put(u"sessions"_s, sessions).object();
}

} // namespace Vetron
