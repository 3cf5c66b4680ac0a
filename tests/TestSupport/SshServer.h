#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace Vetron::Test {

// A real OpenSSH server on 127.0.0.1 for integration tests, with a host key of its own and one device
// key that may only forward to 127.0.0.1:forwardPort. It listens on a port the system picked and runs
// until stop() or destruction; stopping also ends the connections it serves, so clients drop.
class SshServer
{
public:
    explicit SshServer(quint16 forwardPort);
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
    quint16 forwardPort() const { return m_forwardPort; }
    // The login name of the user running the tests, the one the device key logs in as.
    QString userName() const;
    QString devicePrivateKeyPath() const;
    QByteArray devicePrivateKey() const;
    // The device's public key line, without the line break.
    QByteArray devicePublicKey() const;
    // The host key as key type and base64 blob ("ssh-ed25519 AAAA…").
    QByteArray hostKeyLine() const;
    // The host key pinned for this server's address and port, as a known_hosts line without the line break.
    QByteArray knownHostsLine() const;
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

    quint16 m_forwardPort;
    quint16 m_port = 0;
    QTemporaryDir m_directory;
    std::unique_ptr<QProcess> m_process;
    mutable QByteArray m_log;
    QString m_lastError;
};

} // namespace Vetron::Test
