#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class QProcess;

namespace Vetron::LocalStack {

// A real OpenSSH server on 127.0.0.1 with a host key of its own, whose device keys may only
// forward to 127.0.0.1:forwardPort. It listens on a port the system picked and runs until stop()
// or destruction; stopping also ends the connections it serves, so clients drop. Tests let it
// make one device key of its own; the local stack authorises each enrolled device's key instead.
class SshServer
{
public:
    struct Options
    {
        quint16 forwardPort = 0;
        // sshd's configuration, keys and pid file; a temporary directory when empty.
        QString directory;
        // The host key's private half (the public half beside it, with ".pub"), made when missing,
        // so that a key kept across runs stays the one a client has pinned. In `directory` when empty.
        QString hostKey;
        // Whether a device key of its own may log in from the start.
        bool deviceKey = true;
        // Whether to remove sshd's privilege-separation directory at destruction when this server
        // made it. Off for tests that run in parallel, whose servers may share it.
        bool removeMadePrivilegeSeparationDirectory = false;
    };

    explicit SshServer(quint16 forwardPort);
    explicit SshServer(Options options);
    ~SshServer();

    SshServer(const SshServer &) = delete;
    SshServer &operator=(const SshServer &) = delete;

    // Makes the keys and starts sshd; false (see lastError()) when it exits or never listens.
    bool start();
    // Ends sshd and every session it serves.
    void stop();
    // Starts sshd again on the same port with the same keys.
    bool restart();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    quint16 forwardPort() const { return m_options.forwardPort; }
    // The login name of the user running sshd, the one every device key logs in as.
    QString userName() const;
    QString devicePrivateKeyPath() const;
    QByteArray devicePrivateKey() const;
    // The device's public key line, without the line break.
    QByteArray devicePublicKey() const;
    // The host key as key type and base64 blob ("ssh-ed25519 AAAA…").
    QByteArray hostKeyLine() const;
    // The host key pinned for this server's address and port, as a known_hosts line without the line break.
    QByteArray knownHostsLine() const;
    // Lets `publicKey` (an OpenSSH public-key line) log in, restricted to the forward; takes effect
    // with the next login. False when the line is not a single key or cannot be written.
    bool authorizeKey(const QByteArray &publicKey);
    // What sshd has written to its standard error so far, over every start, with plain line breaks.
    QString log() const;
    QString lastError() const { return m_lastError; }

    // Writes the files of an enrolled client into `dataDirectory` (made with mode 0700 when missing),
    // pointing at this server.
    void installClientFiles(const QString &dataDirectory, quint16 localPort, const QString &mapKey,
        const QString &unlockHost) const;

    // A port on 127.0.0.1 that nothing listens on at the time of the call.
    static quint16 pickFreePort();

private:
    QString path(const QString &name) const;
    bool makeKeys();
    bool writeServerFiles();
    bool launch();
    bool fail(const QString &message);
    void collectLog() const;
    QString hostKeyPath() const;

    Options m_options;
    quint16 m_port = 0;
    std::optional<QTemporaryDir> m_temporary;
    QString m_directory;
    QList<QByteArray> m_authorizedKeys;
    bool m_madePrivilegeSeparationDirectory = false;
    std::unique_ptr<QProcess> m_process;
    mutable QByteArray m_log;
    QString m_lastError;
};

} // namespace Vetron::LocalStack
