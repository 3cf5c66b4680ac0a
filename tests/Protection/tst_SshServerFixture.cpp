#include "TestSupport/SshServer.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Vetron::Test::SshServer;

namespace {

constexpr int tunnelLimitMs = 10000;
const QString sshClient = u"/usr/bin/ssh"_s;
const QString mapKey = u"8f14e45fceea167a5a36dedd4bea2543c4ca4238a0b923820dcc509a6f75849b"_s;

// Stands in for the protection server: answers every connection with "pong\n" and counts them.
class PongServer
{
public:
    PongServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_connections;
                socket->write("pong\n");
                socket->disconnectFromHost();
            }
        });
    }

    bool listen() { return m_server.listen(QHostAddress(QHostAddress::LocalHost), 0); }
    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    int m_connections = 0;
};

// The real OpenSSH client holding a tunnel open; killed when it goes out of scope, also on failure.
class SshClient
{
public:
    explicit SshClient(const QStringList &arguments)
    {
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
            [this] { m_errors += m_process.readAllStandardError(); });
        m_process.start(sshClient, arguments);
    }

    ~SshClient()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    int exitCode() const { return m_process.exitCode(); }

    QByteArray errors()
    {
        m_errors += m_process.readAllStandardError();
        return m_errors;
    }

private:
    QProcess m_process;
    QByteArray m_errors;
};

// Connects to 127.0.0.1:port and returns what arrives until the first line break, the peer closing
// or a connection error; empty when nothing answers.
QByteArray exchange(quint16 port)
{
    QTcpSocket socket;
    QByteArray received;
    bool over = false;
    QObject::connect(&socket, &QIODevice::readyRead, &socket, [&] { received += socket.readAll(); });
    QObject::connect(&socket, &QAbstractSocket::disconnected, &socket, [&] { over = true; });
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &socket, [&] { over = true; });
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    // Running out of time leaves what arrived so far, which is the answer either way.
    [[maybe_unused]] const bool settled
        = QTest::qWaitFor([&] { return over || received.contains('\n'); }, 3000);
    received += socket.readAll();
    socket.abort();
    return received;
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

QJsonObject readConfig(const QString &dataDirectory)
{
    QFile file(QDir(dataDirectory).filePath(u"config.json"_s));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// The tunnel exactly as the client opens it from an enrolled data directory; `targetPort` replaces
// the configured remote port.
QStringList tunnelArguments(const QString &dataDirectory, std::optional<int> targetPort = std::nullopt)
{
    const QDir directory(dataDirectory);
    const QJsonObject config = readConfig(dataDirectory);
    const QString forward = u"127.0.0.1:%1:127.0.0.1:%2"_s.arg(config.value(u"local_port"_s).toInt())
                                .arg(targetPort.value_or(config.value(u"remote_port"_s).toInt()));
    return {
        u"-i"_s,
        directory.filePath(u"anontun"_s),
        u"-p"_s,
        QString::number(config.value(u"ssh_port"_s).toInt()),
        u"-o"_s,
        u"IdentitiesOnly=yes"_s,
        u"-o"_s,
        u"HostKeyAlgorithms=ssh-ed25519"_s,
        u"-o"_s,
        u"StrictHostKeyChecking=yes"_s,
        u"-o"_s,
        u"UserKnownHostsFile=\"%1\""_s.arg(directory.filePath(u"known_hosts"_s)),
        u"-o"_s,
        u"ServerAliveInterval=15"_s,
        u"-o"_s,
        u"ServerAliveCountMax=3"_s,
        u"-o"_s,
        u"ExitOnForwardFailure=yes"_s,
        u"-N"_s,
        u"-L"_s,
        forward,
        u"%1@%2"_s.arg(config.value(u"ssh_user"_s).toString(), config.value(u"ssh_host"_s).toString()),
    };
}

} // namespace

class SshServerFixtureTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_pong = std::make_unique<PongServer>();
        QVERIFY(m_pong->listen());
        m_server = std::make_unique<SshServer>(m_pong->port());
        QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
        m_scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(m_scratch->isValid());
        m_localPort = SshServer::pickFreePort();
        QVERIFY(m_localPort != 0);
        m_server->installClientFiles(dataDirectory(), m_localPort, mapKey, u"unlock.vetron.test"_s);
    }

    void cleanup()
    {
        m_server.reset();
        m_pong.reset();
        m_scratch.reset();
    }

    void clientReachesTheForwardTargetThroughTheTunnel()
    {
        QCOMPARE(modeOf(dataDirectory()), mode_t(0700));
        QCOMPARE(modeOf(QDir(dataDirectory()).filePath(u"anontun"_s)), mode_t(0600));
        SshClient client(tunnelArguments(dataDirectory()));

        QVERIFY2(tunnelAnswers(), qPrintable(diagnostics(client)));
        QVERIFY2(client.isRunning(), qPrintable(diagnostics(client)));
        QCOMPARE(m_pong->connections(), 1);
    }

    void clientRejectsAServerWithAnotherHostKey()
    {
        // The device key is a valid ed25519 key too, just not the server's.
        const QList<QByteArray> deviceKey = m_server->devicePublicKey().split(' ');
        QVERIFY(deviceKey.size() >= 2);
        QByteArray pinned = m_server->knownHostsLine();
        pinned.replace(m_server->hostKeyLine(), deviceKey.at(0) + ' ' + deviceKey.at(1));
        QVERIFY(pinned != m_server->knownHostsLine());
        QFile knownHosts(QDir(dataDirectory()).filePath(u"known_hosts"_s));
        QVERIFY(knownHosts.open(QIODevice::WriteOnly | QIODevice::Truncate));
        knownHosts.write(pinned + '\n');
        knownHosts.close();

        SshClient client(tunnelArguments(dataDirectory()));

        QTRY_VERIFY_WITH_TIMEOUT(!client.isRunning(), tunnelLimitMs);
        QCOMPARE(client.exitCode(), 255);
        QVERIFY2(client.errors().contains("Host key verification failed"), client.errors().constData());
        QCOMPARE(exchange(m_localPort), QByteArray());
        QCOMPARE(m_pong->connections(), 0);
    }

    void serverRefusesForwardsToOtherPorts()
    {
        PongServer elsewhere;
        QVERIFY(elsewhere.listen());
        SshClient client(tunnelArguments(dataDirectory(), elsewhere.port()));

        QByteArray received;
        const auto refused = [&] {
            received += exchange(m_localPort);
            return client.errors().contains("administratively prohibited");
        };
        QVERIFY2(QTest::qWaitFor(refused, tunnelLimitMs), qPrintable(diagnostics(client)));
        QCOMPARE(received, QByteArray());
        QCOMPARE(elsewhere.connections(), 0);
    }

    void stoppingDropsTheClientAndRestartingAcceptsItAgain()
    {
        const quint16 port = m_server->port();
        {
            SshClient client(tunnelArguments(dataDirectory()));
            QVERIFY2(tunnelAnswers(), qPrintable(diagnostics(client)));

            m_server->stop();

            // Well before the keep-alive probes (15 s × 3) could notice a silent server.
            QTRY_VERIFY_WITH_TIMEOUT(!client.isRunning(), tunnelLimitMs);
            QVERIFY(!m_server->isRunning());
            QCOMPARE(exchange(port), QByteArray());
        }

        QVERIFY2(m_server->restart(), qPrintable(m_server->lastError()));
        QCOMPARE(m_server->port(), port);
        QVERIFY(exchange(port).startsWith("SSH-2.0-"));
        SshClient again(tunnelArguments(dataDirectory()));
        QVERIFY2(tunnelAnswers(), qPrintable(diagnostics(again)));
    }

private:
    // Retries until the tunnel is up and carries the pong server's answer. Each attempt opens a
    // connection, so it must run exactly once per attempt, which QTRY_* does not promise.
    bool tunnelAnswers() const
    {
        return QTest::qWaitFor([this] { return exchange(m_localPort) == "pong\n"; }, tunnelLimitMs);
    }

    QString dataDirectory() const { return m_scratch->filePath(u"data"_s); }

    QString diagnostics(SshClient &client) const
    {
        return u"ssh said:\n%1\nsshd said:\n%2"_s.arg(
            QString::fromLocal8Bit(client.errors()), m_server->log());
    }

    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<PongServer> m_pong;
    std::unique_ptr<SshServer> m_server;
    quint16 m_localPort = 0;
};

QTEST_GUILESS_MAIN(SshServerFixtureTest)
#include "tst_SshServerFixture.moc"
