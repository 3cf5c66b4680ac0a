#pragma once

#include "HttpStandInServer.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

class QSslCertificate;
class QSslKey;

namespace Vetron::Tools {

struct HttpRequest;

// A local HTTPS stand-in for both outside services the client talks to: the enrollment server
// (enrollment, device-credential challenge and claim) and the account portal (device summary,
// release manifest, static downloads). It answers from state the owner sets, records every
// request and takes per-path overrides to inject faults (setOverride with a path such as
// "/api/enroll"). Device tokens it hands out (on enrollment or claim) are accepted for the
// summary from then on.
class AccountServer : public HttpStandInServer
{
    Q_OBJECT

public:
    // A claim the server accepted: the challenge it had issued for `pubkey` and the signature
    // sent over it, kept for the test to check.
    struct Claim
    {
        QString pubkey;
        QString challenge;
        QString signature;
    };

    explicit AccountServer(QObject *parent = nullptr);
    // Serves HTTPS with `certificate` and `key` on 127.0.0.1 only; port 0 lets the system choose.
    bool listen(const QSslCertificate &certificate, const QSslKey &key, quint16 port = 0);
    // https://127.0.0.1:<port>
    QUrl baseUrl() const;

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

Q_SIGNALS:
    // An enrollment was accepted; its answer goes out once the connected slots have returned.
    void deviceEnrolled(const QString &pubkey, const QString &deviceName);

protected:
    HttpResponse answer(const HttpRequest &request) override;

private:
    HttpResponse enroll(const HttpRequest &request);
    HttpResponse issueChallenge(const HttpRequest &request);
    HttpResponse claim(const HttpRequest &request);
    HttpResponse summary(const HttpRequest &request);
    HttpResponse releaseManifestAnswer(const HttpRequest &request);

    QSet<QString> m_enrollmentTokens;
    QJsonObject m_enrollmentAnswer;
    QHash<QString, QString> m_challenges;
    QString m_claimedDeviceToken;
    QList<Claim> m_claims;
    QSet<QString> m_deviceTokens;
    QJsonObject m_summaryAnswer;
    QByteArray m_releaseManifest;
    QHash<QString, QByteArray> m_files;
};

} // namespace Vetron::Tools
