#pragma once

#include "HttpOverride.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSslServer>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

class QSslCertificate;
class QSslKey;

namespace Vetron::Tools {

class HttpConnection;
struct HttpRequest;

// A local HTTPS stand-in for both outside services the client talks to: the enrollment server
// (enrollment, device-credential challenge and claim) and the account portal (device summary,
// release manifest, static downloads). It answers from state the owner sets, records every
// request and takes per-path overrides to inject faults. Device tokens it hands out (on
// enrollment or claim) are accepted for the summary from then on.
class AccountServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QString path;
        QUrlQuery query;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    // A claim the server accepted: the challenge it had issued for `pubkey` and the signature
    // sent over it, kept for the test to check.
    struct Claim
    {
        QString pubkey;
        QString challenge;
        QString signature;
    };

    explicit AccountServer(QObject *parent = nullptr);
    ~AccountServer() override;

    // Serves HTTPS with `certificate` and `key` on 127.0.0.1 only; port 0 lets the system choose.
    bool listen(const QSslCertificate &certificate, const QSslKey &key, quint16 port = 0);
    bool isListening() const;
    // The port of the last successful listen(), kept after close().
    quint16 port() const;
    // https://127.0.0.1:<port>
    QUrl baseUrl() const;
    // Stops listening and cuts every open connection at once, with no answer to waiting requests.
    void close();

    void acceptEnrollmentToken(const QString &token);
    // The answer to an accepted enrollment. Its "device_token" becomes an accepted device token.
    void setEnrollmentAnswer(const QJsonObject &answer);
    QJsonObject enrollmentAnswer() const;

    // The challenge last issued for `pubkey` and not yet claimed; empty when there is none.
    QString issuedChallenge(const QString &pubkey) const;
    // The device token a successful claim answers with.
    void setClaimedDeviceToken(const QString &token);
    QString claimedDeviceToken() const;
    QList<Claim> claims() const;

    void acceptDeviceToken(const QString &token);
    void revokeDeviceToken(const QString &token);
    void setSummaryAnswer(const QJsonObject &answer);
    QJsonObject summaryAnswer() const;

    // The body of the stable macOS release manifest; while empty the manifest is not found.
    void setReleaseManifest(const QByteArray &manifest);
    QByteArray releaseManifest() const;
    // Serves `content` to GET requests for `path` (such as "/static/Vetron-1.2.zip").
    void setFile(const QString &path, const QByteArray &content);

    // Every request for `path`, whatever its method, is answered with `status` and `body` after
    // `delayMs`, instead of the usual answer. Status 0 only delays the usual answer.
    void setOverride(const QString &path, int status, QByteArray body = {}, int delayMs = 0);
    void setOverride(const QString &path, HttpOverride override);
    void clearOverrides();

    QList<Request> requests() const;
    void clearRequests();

Q_SIGNALS:
    // A request has been read completely; it is already in requests(), its answer not yet sent.
    void requestReceived();
    // An enrollment was accepted; its answer goes out once the connected slots have returned.
    void deviceEnrolled(const QString &pubkey, const QString &deviceName);

private:
    void acceptConnections();
    void handle(HttpConnection *connection, const HttpRequest &request);
    HttpResponse answer(const HttpRequest &request);
    HttpResponse enroll(const HttpRequest &request);
    HttpResponse issueChallenge(const HttpRequest &request);
    HttpResponse claim(const HttpRequest &request);
    HttpResponse summary(const HttpRequest &request);
    HttpResponse releaseManifestAnswer(const HttpRequest &request);

    QSslServer m_server;
    quint16 m_port = 0;
    QSet<QString> m_enrollmentTokens;
    QJsonObject m_enrollmentAnswer;
    QHash<QString, QString> m_challenges;
    QString m_claimedDeviceToken;
    QList<Claim> m_claims;
    QSet<QString> m_deviceTokens;
    QJsonObject m_summaryAnswer;
    QByteArray m_releaseManifest;
    QHash<QString, QByteArray> m_files;
    QHash<QString, HttpOverride> m_overrides;
    QList<Request> m_requests;
};

} // namespace Vetron::Tools
