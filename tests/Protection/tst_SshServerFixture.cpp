#include "TestSupport/SshServer.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Vetron::Test::SshServer;

// The tunnel tests trust that the fixture's sshd, like the real server, forwards to its one
// allowed port and nowhere else.
class SshServerFixtureTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverRefusesForwardsToOtherPorts()
    {
        QTcpServer allowed, elsewhere;
        QVERIFY(allowed.listen(QHostAddress::LocalHost) && elsewhere.listen(QHostAddress::LocalHost));
        SshServer server(allowed.serverPort());
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        const QTemporaryDir data;
        const quint16 localPort = SshServer::pickFreePort();
        server.installClientFiles(data.path(), localPort, u"map-key"_s, u"unlock.vetron.test"_s);

        QProcess ssh;
        ssh.start(u"/usr/bin/ssh"_s,
            { u"-i"_s, data.filePath(u"anontun"_s), u"-p"_s, QString::number(server.port()), u"-o"_s,
                u"IdentitiesOnly=yes"_s, u"-o"_s, u"StrictHostKeyChecking=yes"_s, u"-o"_s,
                u"UserKnownHostsFile=\"%1\""_s.arg(data.filePath(u"known_hosts"_s)), u"-N"_s, u"-L"_s,
                u"127.0.0.1:%1:127.0.0.1:%2"_s.arg(localPort).arg(elsewhere.serverPort()),
                server.userName() + u"@127.0.0.1"_s });
        const auto stopSsh = qScopeGuard([&ssh] { ssh.kill(); ssh.waitForFinished(3000); });

        // Knocks on the tunnel until ssh reports the refusal; nothing may come back meanwhile.
        QByteArray received, errors;
        const auto refused = [&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, localPort);
            const auto settled = [&] {
                return socket.state() == QAbstractSocket::UnconnectedState || socket.bytesAvailable() > 0;
            };
            [[maybe_unused]] const bool inTime = QTest::qWaitFor(settled, 1000);
            received += socket.readAll();
            errors += ssh.readAllStandardError();
            return errors.contains("administratively prohibited");
        };
        QVERIFY2(QTest::qWaitFor(refused, 10000), qPrintable(QString::fromLocal8Bit(errors) + server.log()));
        QCOMPARE(received, QByteArray());
        QVERIFY(!elsewhere.hasPendingConnections());
    }
};

QTEST_GUILESS_MAIN(SshServerFixtureTest)
#include "tst_SshServerFixture.moc"
