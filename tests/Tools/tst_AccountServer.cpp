#include "AccountServer.h"
#include "TestSupport/TestCertificates.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using Vetron::Test::TestCertificates;
using Vetron::Tools::AccountServer;

namespace {

struct Answer
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QJsonObject json;
};

const QJsonObject enrollment { { u"token"_s, u"enroll-7"_s }, { u"pubkey"_s, u"ssh-ed25519 AAAA"_s },
    { u"platform"_s, u"macos"_s }, { u"device_name"_s, u"Mac"_s } };
const QString pubkey = u"ssh-ed25519 AAAA device"_s;

} // namespace

class AccountServerTest : public QObject
{
    Q_OBJECT

    std::optional<TestCertificates> m_certificates;
    std::unique_ptr<AccountServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;

    Answer send(QNetworkRequest request, const QByteArray &verb, const QByteArray &body = {})
    {
        request.setUrl(m_server->baseUrl().resolved(request.url()));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        std::unique_ptr<QNetworkReply> reply(m_network->sendCustomRequest(request, verb, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished() && !finished.wait(10000))
            reply->abort();
        return { reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            QJsonDocument::fromJson(reply->readAll()).object() };
    }

    Answer post(const QString &path, const QJsonObject &body)
    {
        return send(QNetworkRequest(QUrl(path)), "POST", QJsonDocument(body).toJson());
    }

    Answer summary(const QByteArray &authorization)
    {
        QNetworkRequest request(QUrl(u"/api/v1/device/summary"_s));
        request.setRawHeader("Authorization", authorization);
        return send(request, "GET");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_certificates.emplace();
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        m_certificates->trustInThisProcess();
    }

    void init()
    {
        m_server = std::make_unique<AccountServer>();
        QVERIFY(m_server->listen(m_certificates->serverCertificate(), m_certificates->serverKey()));
        m_network = std::make_unique<QNetworkAccessManager>();
        m_network->setProxy(QNetworkProxy::NoProxy);
    }

    void enrollmentWithAnAcceptedTokenGetsTheConfiguredAnswer()
    {
        QJsonObject configured = m_server->enrollmentAnswer();
        configured.insert(u"ca_pem"_s, QString::fromLatin1(TestCertificates::makeCaPem()));
        m_server->setEnrollmentAnswer(configured);
        m_server->acceptEnrollmentToken(u"enroll-7"_s);

        const Answer answer = post(u"/api/enroll"_s, enrollment);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json, configured);
        QVERIFY(answer.json.value(u"ca_pem"_s).toString().startsWith(u"-----BEGIN CERTIFICATE-----"_s));
        QCOMPARE(QJsonDocument::fromJson(m_server->requests().constFirst().body).object(), enrollment);
    }

    void enrollmentWithAnUnknownTokenOrABrokenBodyIsRefused()
    {
        const Answer unknown = post(u"/api/enroll"_s, enrollment);
        QCOMPARE(unknown.status, 403);
        QCOMPARE(unknown.json.value(u"error"_s).toString(), u"invalid_token"_s);
        m_server->acceptEnrollmentToken(u"enroll-7"_s);
        QCOMPARE(post(u"/api/enroll"_s, { { u"token"_s, u"enroll-7"_s } }).status, 400);
        QCOMPARE(send(QNetworkRequest(QUrl(u"/api/enroll"_s)), "POST", "token=enroll-7").status, 400);
    }

    void clientThatDoesNotTrustTheTestAuthorityFailsTheHandshake()
    {
        QSslConfiguration untrusting = QSslConfiguration::defaultConfiguration();
        untrusting.setCaCertificates(QSslCertificate::fromData(TestCertificates::makeCaPem()));
        QNetworkRequest request(QUrl(u"/api/enroll"_s));
        request.setSslConfiguration(untrusting);
        const Answer answer = send(request, "POST", QJsonDocument(enrollment).toJson());
        QCOMPARE(answer.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(m_server->requests().isEmpty());
    }

    void claimYieldsTheDeviceTokenOnlyForTheIssuedChallengeAndOnlyOnce()
    {
        const Answer issued = post(u"/api/device-credential/challenge"_s, { { u"pubkey"_s, pubkey } });
        QCOMPARE(issued.status, 200);
        const QString challenge = issued.json.value(u"challenge"_s).toString();
        QCOMPARE(m_server->issuedChallenge(pubkey), challenge);
        QJsonObject claim { { u"pubkey"_s, pubkey }, { u"challenge"_s, u"made-up"_s },
            { u"signature"_s, u"sig"_s } };
        QCOMPARE(post(u"/api/device-credential/claim"_s, claim).status, 409);
        QVERIFY(m_server->claims().isEmpty());

        claim.insert(u"challenge"_s, challenge);
        const Answer claimed = post(u"/api/device-credential/claim"_s, claim);
        QCOMPARE(claimed.status, 200);
        QCOMPARE(claimed.json.value(u"device_token"_s).toString(), u"claimed-token-1"_s);
        QCOMPARE(m_server->claims().constFirst().signature, u"sig"_s);
        QCOMPARE(summary("Bearer claimed-token-1").status, 200);
        QCOMPARE(post(u"/api/device-credential/claim"_s, claim).status, 409);
    }

    void summaryNeedsAnAcceptedBearerToken()
    {
        m_server->acceptDeviceToken(u"device-token-1"_s);
        const Answer accepted = summary("Bearer device-token-1");
        QCOMPARE(accepted.status, 200);
        QCOMPARE(accepted.json, m_server->summaryAnswer());
        const Answer refused = summary("Bearer device-token-2");
        QCOMPARE(refused.status, 401);
        QCOMPARE(refused.json.value(u"error"_s).toString(), u"unauthorized"_s);
        QCOMPARE(summary("device-token-1").status, 401);
    }
};

QTEST_GUILESS_MAIN(AccountServerTest)
#include "tst_AccountServer.moc"
