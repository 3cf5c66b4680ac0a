#pragma once

#include "Foundation/JsonCodec.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QtQmlIntegration/qqmlintegration.h>

#include <cmath>
#include <optional>

// The plain value records exchanged with the enrollment server, the account portal and the
// protection server, and kept on disk. Each reads and writes one JSON object with the member
// names written out below; unknown members are ignored and optional members without a value
// are left out when writing. The records the screens show are gadgets: views read their
// members by name, with dates as dates.

namespace Vetron {

// Tunnel configuration of an enrolled Mac ("config.json").
struct ClientConfig
{
    QString sshHost;
    QString sshUser;
    qint64 sshPort = 0;
    qint64 localPort = 0;
    qint64 remotePort = 0;
    QString unlockHost;

    static ClientConfig decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// The enrollment server's answer: the tunnel configuration, the server CA and the device token.
struct EnrollmentResult : ClientConfig
{
    QString caPEM;
    std::optional<QString> deviceToken;

    static EnrollmentResult decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// Settings the protection server keeps for the user; edited in place by the settings screen.
struct ProtectionSettings
{
    Q_GADGET
    QML_VALUE_TYPE(protectionSettings)
    Q_PROPERTY(qint64 retentionDays MEMBER retentionDays)
    Q_PROPERTY(bool crossSession MEMBER crossSession)
    Q_PROPERTY(QStringList disabledCategories MEMBER disabledCategories)

public:
    qint64 retentionDays = 30;
    bool crossSession = false;
    QStringList disabledCategories;

    Q_INVOKABLE bool isCategoryEnabled(const QString &category) const
    {
        return !disabledCategories.contains(category);
    }

    static ProtectionSettings decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProtectionSettings &, const ProtectionSettings &) = default;
};

struct DeviceInfo
{
    Q_GADGET
    QML_VALUE_TYPE(deviceInfo)
    Q_PROPERTY(QString name MEMBER name)
    // Empty when unknown.
    Q_PROPERTY(QString platform READ platformText)
    Q_PROPERTY(QString status MEMBER status)

public:
    QString name;
    std::optional<QString> platform;
    QString status;

    QString platformText() const { return platform.value_or(QString()); }

    static DeviceInfo decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct SubscriptionInfo
{
    Q_GADGET
    QML_VALUE_TYPE(subscriptionInfo)
    Q_PROPERTY(QString status MEMBER status)
    Q_PROPERTY(QDateTime periodEnd MEMBER periodEnd)

public:
    QString status;
    QDateTime periodEnd;

    static SubscriptionInfo decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct UsageResponse
{
    Q_GADGET
    QML_VALUE_TYPE(usageResponse)
    Q_PROPERTY(qint64 requests MEMBER requests)
    Q_PROPERTY(qint64 maskedEntities MEMBER maskedEntities)
    Q_PROPERTY(qint64 blocked MEMBER blocked)

public:
    qint64 requests = 0;
    qint64 maskedEntities = 0;
    qint64 blocked = 0;

    static UsageResponse decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// The account portal's summary of this device.
struct DeviceSummary
{
    DeviceInfo device;
    std::optional<SubscriptionInfo> subscription;
    UsageResponse usage;

    static DeviceSummary decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// One protected conversation. Its identity is `id`; equality takes every field.
struct ProtectedSession
{
    Q_GADGET
    QML_VALUE_TYPE(protectedSession)
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString kind MEMBER kind)
    Q_PROPERTY(QString title MEMBER title)
    Q_PROPERTY(QDateTime createdAt READ createdAtTime)
    Q_PROPERTY(QDateTime lastUsedAt READ lastUsedAtTime)
    Q_PROPERTY(qint64 requests MEMBER requests)
    Q_PROPERTY(qint64 replacements MEMBER replacements)
    Q_PROPERTY(bool bypass MEMBER bypass)

public:
    QString id;
    QString kind;
    QString title;
    double createdAt = 0;  // seconds since the Unix epoch
    double lastUsedAt = 0; // seconds since the Unix epoch
    qint64 requests = 0;
    qint64 replacements = 0;
    bool bypass = false;

    QDateTime createdAtTime() const { return secondsToTime(createdAt); }
    QDateTime lastUsedAtTime() const { return secondsToTime(lastUsedAt); }
    // A time beyond what 64 bits of milliseconds hold reads as no time at all.
    static QDateTime secondsToTime(double seconds)
    {
        const double milliseconds = seconds * 1000;
        if (!(std::abs(milliseconds) < 9.2e18))
            return {};
        return QDateTime::fromMSecsSinceEpoch(qint64(milliseconds), QTimeZone::utc());
    }

    static ProtectedSession decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProtectedSession &, const ProtectedSession &) = default;
};

size_t qHash(const ProtectedSession &session, size_t seed = 0) noexcept;

// One row of a session's placeholder table.
struct ProtectedMapping
{
    Q_GADGET
    QML_VALUE_TYPE(protectedMapping)
    Q_PROPERTY(QString placeholder MEMBER placeholder)
    Q_PROPERTY(QString original MEMBER original)

public:
    QString placeholder;
    QString original;

    static ProtectedMapping decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProtectedMapping &, const ProtectedMapping &) = default;
};

size_t qHash(const ProtectedMapping &mapping, size_t seed = 0) noexcept;

// One session with its placeholder table, read only on explicit request.
struct ProtectedSessionDetail : ProtectedSession
{
    QList<ProtectedMapping> mapping;

    friend bool operator==(const ProtectedSessionDetail &, const ProtectedSessionDetail &) = default;

    static ProtectedSessionDetail decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct ProtectedSessionsResponse
{
    QList<ProtectedSession> sessions;

    static ProtectedSessionsResponse decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

} // namespace Vetron
