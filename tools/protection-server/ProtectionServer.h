#pragma once

#include "HttpStandInServer.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace Vetron::Tools {

struct HttpRequest;

// A local stand-in for the protection proxy at the far end of the tunnel. It is reached as an
// HTTP proxy on 127.0.0.1, answers the reserved pseudo-hosts (status, unlock, config, purge,
// sessions, session) from state the owner sets, and answers every other host with 502. Faults
// are injected per host with setOverride() (a host name, in any case); every request is
// recorded. Query values are read as a form decoder reads them, "+" as a blank.
class ProtectionServer : public HttpStandInServer
{
    Q_OBJECT

public:
    explicit ProtectionServer(QObject *parent = nullptr);

    // Listens on 127.0.0.1 only; port 0 lets the system choose. listen(port()) after close()
    // brings the server back where it was.
    bool listen(quint16 port = 0);

    // The X-Anon-Key value the keyed hosts and the unlock host expect.
    void setMapKey(const QString &key);
    QString mapKey() const;
    // When on and no map key is set, the first unlock request's key becomes the map key, as a
    // server that has never seen this device's map would take it.
    void setKeyFromFirstUnlock(bool on);
    void setUnlockHost(const QString &host);
    QString unlockHost() const;
    void setMapUnlocked(bool unlocked);
    bool mapUnlocked() const;
    // retention_days, cross_session, disabled_categories.
    void setSettings(const QJsonObject &settings);
    QJsonObject settings() const;
    // Session objects with id, kind, title, created_at, last_used_at, requests, replacements,
    // bypass and mapping (an array of {placeholder, original}).
    void setSessions(const QJsonArray &sessions);
    QJsonArray sessions() const;

    // A CONNECT to `host` (any port) is carried to 127.0.0.1:`port`, as the real server carries
    // the assistant's traffic to its own TLS end; a CONNECT to any other host is refused.
    void setTunnelledHost(const QString &host, quint16 port);

    // When off, the status host answers with a nonce other than the one asked for.
    void setEchoNonce(bool echo);
    bool echoNonce() const;

protected:
    HttpResponse answer(const HttpRequest &request) override;
    bool takeOver(HttpConnection *connection, const HttpRequest &request) override;

private:
    HttpResponse answerStatus(const HttpRequest &request);
    HttpResponse answerUnlock(const HttpRequest &request);
    HttpResponse answerConfig(const HttpRequest &request);
    HttpResponse answerPurge(const HttpRequest &request);
    HttpResponse answerSessions(const HttpRequest &request);
    HttpResponse answerSession(const HttpRequest &request);
    HttpResponse changeSession(const HttpRequest &request);
    bool keyMatches(const HttpRequest &request) const;
    qsizetype sessionIndex(const QString &id) const;

    QString m_mapKey;
    bool m_keyFromFirstUnlock = false;
    QString m_unlockHost;
    bool m_mapUnlocked = false;
    QJsonObject m_settings;
    QJsonArray m_sessions;
    bool m_echoNonce = true;
    QHash<QString, quint16> m_tunnelledHosts;
};

} // namespace Vetron::Tools
