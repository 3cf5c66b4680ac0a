#pragma once

#include "Foundation/JsonCodec.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The plain value records exchanged with the enrollment server, the account portal and the
// protection server, and kept on disk. Each reads and writes one JSON object with the member
// names written out below; unknown members are ignored and optional members without a value
// are left out when writing.

namespace Vetron {

// Tunnel configuration of an enrolled Mac ("config.json").
struct ClientConfig {
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
struct EnrollmentResult : ClientConfig {
    QString caPEM;
    std::optional<QString> deviceToken;

    static EnrollmentResult decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// Settings the protection server keeps for the user; edited in place by the settings screen.
struct ProtectionSettings {
    qint64 retentionDays = 30;
    bool crossSession = false;
    QStringList disabledCategories;

    static ProtectionSettings decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct DeviceInfo {
    QString name;
    std::optional<QString> platform;
    QString status;

    static DeviceInfo decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct SubscriptionInfo {
    QString status;
    QDateTime periodEnd;

    static SubscriptionInfo decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct UsageResponse {
    qint64 requests = 0;
    qint64 maskedEntities = 0;
    qint64 blocked = 0;

    static UsageResponse decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// The account portal's summary of this device.
struct DeviceSummary {
    DeviceInfo device;
    std::optional<SubscriptionInfo> subscription;
    UsageResponse usage;

    static DeviceSummary decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// One protected conversation. Its identity is `id`; equality takes every field.
struct ProtectedSession {
    QString id;
    QString kind;
    QString title;
    double createdAt = 0;  // seconds since the Unix epoch
    double lastUsedAt = 0; // seconds since the Unix epoch
    qint64 requests = 0;
    qint64 replacements = 0;
    bool bypass = false;

    static ProtectedSession decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProtectedSession &, const ProtectedSession &) = default;
};

size_t qHash(const ProtectedSession &session, size_t seed = 0) noexcept;

// One row of a session's placeholder table.
struct ProtectedMapping {
    QString placeholder;
    QString original;

    static ProtectedMapping decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProtectedMapping &, const ProtectedMapping &) = default;
};

size_t qHash(const ProtectedMapping &mapping, size_t seed = 0) noexcept;

// One session with its placeholder table, read only on explicit request.
struct ProtectedSessionDetail : ProtectedSession {
    QList<ProtectedMapping> mapping;

    friend bool operator==(const ProtectedSessionDetail &, const ProtectedSessionDetail &) = default;

    static ProtectedSessionDetail decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

struct ProtectedSessionsResponse {
    QList<ProtectedSession> sessions;

    static ProtectedSessionsResponse decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

} // namespace Vetron
