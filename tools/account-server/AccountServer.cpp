#include "AccountServer.h"

#include "HttpRequestParser.h"
#include "HttpResponse.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

#include <array>
#include <initializer_list>
#include <optional>

using namespace Qt::StringLiterals;

namespace Vetron::Tools {

namespace {

HttpResponse failure(int status, const QString &code)
{
    return HttpResponse::json(status, { { u"error"_s, code } });
}

HttpResponse badRequest()
{
    return failure(400, u"invalid_request"_s);
}

// The body as a JSON object in which each of `members` is a non-empty string; nothing otherwise.
std::optional<QJsonObject> stringMembers(
    const HttpRequest &request, std::initializer_list<QStringView> members)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QStringView member : members) {
        if (object.value(member).toString().isEmpty())
            return std::nullopt;
    }
    return object;
}

QString bearerToken(const HttpRequest &request)
{
    static constexpr QByteArrayView scheme = "bearer ";
    const QByteArray authorization = request.headers.value("authorization");
    if (!authorization.toLower().startsWith(scheme))
        return {};
    return QString::fromUtf8(authorization.mid(scheme.size()).trimmed());
}

QString randomChallenge()
{
    std::array<quint32, 6> words {};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), qsizetype(sizeof(words)));
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool methodMatches(const HttpRequest &request, QByteArrayView method)
{
    return request.method == method || (method == "GET" && request.method == "HEAD");
}

} // namespace

AccountServer::AccountServer(QObject *parent)
    : HttpStandInServer(new QSslServer, OverrideKey::path, parent)
    , m_enrollmentAnswer { { u"ssh_host"_s, u"127.0.0.1"_s }, { u"ssh_user"_s, u"device"_s },
        { u"ssh_port"_s, 22 }, { u"local_port"_s, 18080 }, { u"remote_port"_s, 3128 },
        { u"unlock_host"_s, u"unlock.vetron.test"_s }, { u"ca_pem"_s, QString() },
        { u"device_token"_s, u"device-token-1"_s } }
    , m_claimedDeviceToken(u"claimed-token-1"_s)
    , m_summaryAnswer { { u"device"_s,
                            QJsonObject { { u"name"_s, u"Mac"_s }, { u"platform"_s, u"macos"_s },
                                { u"status"_s, u"active"_s } } },
        { u"subscription"_s,
            QJsonObject { { u"status"_s, u"active"_s }, { u"period_end"_s, u"2026-03-01T00:00:00Z"_s } } },
        { u"usage"_s,
            QJsonObject { { u"requests"_s, 12 }, { u"masked_entities"_s, 5 }, { u"blocked"_s, 1 } } } }
{
}

bool AccountServer::listen(const QSslCertificate &certificate, const QSslKey &key, quint16 port)
{
    return listenOnLoopbackWithTls(certificate, key, port);
}

QUrl AccountServer::baseUrl() const
{
    QUrl url;
    url.setScheme(u"https"_s);
    url.setHost(u"127.0.0.1"_s);
    url.setPort(port());
    return url;
}

void AccountServer::acceptEnrollmentToken(const QString &token)
{
    m_enrollmentTokens.insert(token);
}

void AccountServer::setEnrollmentAnswer(const QJsonObject &answer)
{
    m_enrollmentAnswer = answer;
}

QJsonObject AccountServer::enrollmentAnswer() const
{
    return m_enrollmentAnswer;
}

QString AccountServer::issuedChallenge(const QString &pubkey) const
{
    return m_challenges.value(pubkey);
}

void AccountServer::setClaimedDeviceToken(const QString &token)
{
    m_claimedDeviceToken = token;
}

QString AccountServer::claimedDeviceToken() const
{
    return m_claimedDeviceToken;
}

QList<AccountServer::Claim> AccountServer::claims() const
{
    return m_claims;
}

void AccountServer::acceptDeviceToken(const QString &token)
{
    m_deviceTokens.insert(token);
}

void AccountServer::revokeDeviceToken(const QString &token)
{
    m_deviceTokens.remove(token);
}

void AccountServer::setSummaryAnswer(const QJsonObject &answer)
{
    m_summaryAnswer = answer;
}

QJsonObject AccountServer::summaryAnswer() const
{
    return m_summaryAnswer;
}

void AccountServer::setReleaseManifest(const QByteArray &manifest)
{
    m_releaseManifest = manifest;
}

QByteArray AccountServer::releaseManifest() const
{
    return m_releaseManifest;
}

void AccountServer::setFile(const QString &path, const QByteArray &content)
{
    m_files.insert(path, content);
}

HttpResponse AccountServer::answer(const HttpRequest &request)
{
    struct Route
    {
        QStringView path;
        QByteArrayView method;
        HttpResponse (AccountServer::*serve)(const HttpRequest &);
    };
    static constexpr Route routes[] = {
        { u"/api/enroll", "POST", &AccountServer::enroll },
        { u"/api/device-credential/challenge", "POST", &AccountServer::issueChallenge },
        { u"/api/device-credential/claim", "POST", &AccountServer::claim },
        { u"/api/v1/device/summary", "GET", &AccountServer::summary },
        { u"/api/v1/releases/macos/stable", "GET", &AccountServer::releaseManifestAnswer },
    };

    const QString path = request.url.path();
    for (const Route &route : routes) {
        if (path != route.path)
            continue;
        if (!methodMatches(request, route.method))
            return failure(405, u"method_not_allowed"_s);
        return (this->*route.serve)(request);
    }
    const auto file = m_files.constFind(path);
    if (file == m_files.cend())
        return failure(404, u"not_found"_s);
    if (!methodMatches(request, "GET"))
        return failure(405, u"method_not_allowed"_s);
    return HttpResponse { 200, "application/octet-stream", *file };
}

HttpResponse AccountServer::enroll(const HttpRequest &request)
{
    const auto body = stringMembers(request, { u"token", u"pubkey", u"platform", u"device_name" });
    if (!body)
        return badRequest();
    if (!m_enrollmentTokens.contains(body->value(u"token").toString()))
        return failure(403, u"invalid_token"_s);
    const QString deviceToken = m_enrollmentAnswer.value(u"device_token").toString();
    if (!deviceToken.isEmpty())
        m_deviceTokens.insert(deviceToken);
    Q_EMIT deviceEnrolled(body->value(u"pubkey").toString(), body->value(u"device_name").toString());
    return HttpResponse::json(200, m_enrollmentAnswer);
}

HttpResponse AccountServer::issueChallenge(const HttpRequest &request)
{
    const auto body = stringMembers(request, { u"pubkey" });
    if (!body)
        return badRequest();
    const QString challenge = randomChallenge();
    m_challenges.insert(body->value(u"pubkey").toString(), challenge);
    return HttpResponse::json(200, { { u"challenge"_s, challenge } });
}

HttpResponse AccountServer::claim(const HttpRequest &request)
{
    const auto body = stringMembers(request, { u"pubkey", u"challenge", u"signature" });
    if (!body)
        return badRequest();
    const Claim claim { body->value(u"pubkey").toString(), body->value(u"challenge").toString(),
        body->value(u"signature").toString() };
    const auto issued = m_challenges.constFind(claim.pubkey);
    if (issued == m_challenges.cend() || *issued != claim.challenge)
        return failure(409, u"challenge_not_issued"_s);
    // A challenge is good for one claim.
    m_challenges.remove(claim.pubkey);
    m_claims.append(claim);
    if (!m_claimedDeviceToken.isEmpty())
        m_deviceTokens.insert(m_claimedDeviceToken);
    return HttpResponse::json(200, { { u"device_token"_s, m_claimedDeviceToken } });
}

HttpResponse AccountServer::summary(const HttpRequest &request)
{
    if (!m_deviceTokens.contains(bearerToken(request)))
        return failure(401, u"unauthorized"_s);
    return HttpResponse::json(200, m_summaryAnswer);
}

HttpResponse AccountServer::releaseManifestAnswer(const HttpRequest &)
{
    if (m_releaseManifest.isEmpty())
        return failure(404, u"not_found"_s);
    return HttpResponse::raw(200, m_releaseManifest);
}

} // namespace Vetron::Tools
