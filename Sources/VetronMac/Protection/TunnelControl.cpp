#include "Protection/TunnelControl.h"

#include "BuildConstants.h"
#include "Protection/TunnelError.h"
#include "Protection/TunnelProcess.h"
#include "Protection/TunnelProtocolSupport.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>

#include <utility>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

QUrl pseudoHost(const char *host)
{
    return QUrl(u"http://"_s + QLatin1StringView(host) + u"/"_s);
}

// `address` with the query built from `items` in order, every value percent-encoded: a form
// decoder on the server reads "+", "&", "=", "#", "%", blanks and any letter back as sent.
QUrl withQuery(QUrl address, const QList<std::pair<QString, QString>> &items)
{
    QStringList parts;
    for (const auto &[name, value] : items)
        parts << name + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    address.setQuery(parts.join(u'&'), QUrl::StrictMode);
    return address;
}

// Only 200 counts as an answer; error bodies are not read.
const WebAnswer &requireOk(const WebAnswer &answer)
{
    if (answer.status != 200)
        throw TunnelError(TunnelError::Case::serverUnavailable);
    return answer;
}

} // namespace

TunnelControl::TunnelControl(
    const TunnelProcess &ssh, const TunnelCredentials &credentials, const TunnelTimings &timings)
    : m_ssh(ssh)
    , m_credentials(credentials)
    , m_timings(timings)
{
}

QCoro::Task<WebAnswer> TunnelControl::sendAuthorized(QUrl url, QByteArray verb, QByteArray body)
{
    if (!m_credentials.config)
        throw TunnelError(TunnelError::Case::notActivated);
    const auto port = quint16(m_credentials.config->localPort);
    m_ssh.requireOwnForward(port);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_timings.requestLimit.count()));
    request.setRawHeader("X-Anon-Key", m_credentials.mapKey.toUtf8());
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    const auto client = WebExchange::proxiedClient(port, m_timings.clientTimeout);
    co_return co_await WebExchange::send(*client, request, verb, body);
}

QCoro::Task<WebAnswer> TunnelControl::sendAuthorizedOk(QUrl url, QByteArray verb, QByteArray body)
{
    co_return requireOk(co_await sendAuthorized(url, verb, body));
}

QCoro::Task<> TunnelControl::unlock(ClientConfig config)
{
    const QUrl address(u"http://"_s + config.unlockHost + u"/"_s, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        throw TunnelError(TunnelError::Case::invalidConfiguration);

    m_ssh.requireOwnForward(quint16(config.localPort));
    QNetworkRequest request(address);
    request.setTransferTimeout(int(m_timings.requestLimit.count()));
    request.setRawHeader("X-Anon-Key", m_credentials.mapKey.toUtf8());
    const auto client = WebExchange::proxiedClient(quint16(config.localPort), m_timings.clientTimeout);
    const WebAnswer answer = co_await WebExchange::send(*client, request);
    if (!TunnelProtocolSupport::acceptsUnlock(answer.status, answer.body))
        throw TunnelError(TunnelError::Case::serverUnavailable);
}

QCoro::Task<ProtectionSettings> TunnelControl::settings()
{
    const WebAnswer answer = co_await sendAuthorizedOk(pseudoHost(BuildConstants::statusHost));
    co_return decodeJson<ProtectionSettings>(answer.body);
}

QCoro::Task<> TunnelControl::save(ProtectionSettings settings)
{
    // An empty list still sends the item, with an empty value ("disabled_categories=").
    const QList<std::pair<QString, QString>> items {
        { u"retention_days"_s, QString::number(settings.retentionDays) },
        { u"cross_session"_s, settings.crossSession ? u"1"_s : u"0"_s },
        { u"disabled_categories"_s, settings.disabledCategories.join(u',') },
    };
    co_await sendAuthorizedOk(withQuery(pseudoHost(BuildConstants::configHost), items));
}

QCoro::Task<> TunnelControl::purgeMap()
{
    co_await sendAuthorizedOk(pseudoHost(BuildConstants::purgeHost));
}

QCoro::Task<QList<ProtectedSession>> TunnelControl::sessions()
{
    const WebAnswer answer = requireOk(co_await sendAuthorized(pseudoHost(BuildConstants::sessionsHost)));
    co_return decodeJson<ProtectedSessionsResponse>(answer.body).sessions;
}

QCoro::Task<ProtectedSessionDetail> TunnelControl::session(QString id)
{
    const QList<std::pair<QString, QString>> items { { u"id"_s, id } };
    const QUrl address = withQuery(pseudoHost(BuildConstants::sessionHost), items);
    const WebAnswer answer = requireOk(co_await sendAuthorized(address));
    co_return decodeJson<ProtectedSessionDetail>(answer.body);
}

QCoro::Task<> TunnelControl::sessionCommand(QString action, QString id, std::optional<QString> title)
{
    QJsonObject command { { u"action"_s, action }, { u"id"_s, id } };
    if (title)
        command.insert(u"title"_s, *title);
    co_await sendAuthorizedOk(pseudoHost(BuildConstants::sessionHost), "POST",
        QJsonDocument(command).toJson(QJsonDocument::Compact));
}

} // namespace Vetron
