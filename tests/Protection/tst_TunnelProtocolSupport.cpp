#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelService.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class TunnelProtocolSupportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        // A data location whose path needs escaping inside ssh's option value.
        const QString awkward = m_home.path() + u"/with \"quote\" and \\ backslash"_s;
        qputenv("HOME", QFile::encodeName(awkward));
    }

    void unlockAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("200 without body") << 200 << QByteArray() << true;
        QTest::addRow("299 saying locked") << 299 << QByteArray(R"({"unlocked":false})") << true;
        QTest::addRow("409 saying unlocked") << 409 << QByteArray(R"({"unlocked": true})") << true;
        QTest::addRow("409 saying locked") << 409 << QByteArray(R"({"unlocked": false})") << false;
        QTest::addRow("403 without JSON") << 403 << QByteArray("Forbidden") << false;
        QTest::addRow("500 with string true") << 500 << QByteArray(R"({"unlocked":"true"})") << false;
        QTest::addRow("302 with array") << 302 << QByteArray(R"([{"unlocked":true}])") << false;
    }

    void unlockAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, accepted);
        QCOMPARE(TunnelProtocolSupport::acceptsUnlock(status, body), accepted);
    }

    void mapStateAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("unlocked");
        QTest::addRow("true") << QByteArray(R"({"map_unlocked":true,"retention_days":30})") << true;
        QTest::addRow("false") << QByteArray(R"({"map_unlocked":false})") << false;
        QTest::addRow("missing") << QByteArray(R"({"retention_days":30})") << false;
        QTest::addRow("string true") << QByteArray(R"({"map_unlocked":"true"})") << false;
        QTest::addRow("not JSON") << QByteArray("map_unlocked: true") << false;
    }

    void mapStateAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, unlocked);
        QCOMPARE(TunnelProtocolSupport::mapIsUnlocked(body), unlocked);
    }

    void sshGetsItsTwentyTwoArgumentsInOrder()
    {
        const ClientConfig config { u"tun.example"_s, u"device-7"_s, 2222, 18080, 3128, u"unlock.example"_s };
        const QString data = m_home.path() + u"/with \"quote\" and \\ backslash/.qttest/share/Vetron/"_s;
        const QString knownHostsOption = u"UserKnownHostsFile=\""_s + m_home.path()
            + u"/with \\\"quote\\\" and \\\\ backslash/.qttest/share/Vetron/known_hosts\""_s;
        const QStringList expected {
            u"-i"_s,
            data + u"anontun"_s,
            u"-p"_s,
            u"2222"_s,
            u"-o"_s,
            u"IdentitiesOnly=yes"_s,
            u"-o"_s,
            u"HostKeyAlgorithms=ssh-ed25519"_s,
            u"-o"_s,
            u"StrictHostKeyChecking=yes"_s,
            u"-o"_s,
            knownHostsOption,
            u"-o"_s,
            u"ServerAliveInterval=15"_s,
            u"-o"_s,
            u"ServerAliveCountMax=3"_s,
            u"-o"_s,
            u"ExitOnForwardFailure=yes"_s,
            u"-N"_s,
            u"-L"_s,
            u"127.0.0.1:18080:127.0.0.1:3128"_s,
            u"device-7@tun.example"_s,
        };
        QCOMPARE(TunnelProcess::sshArguments(config), expected);
    }

    void reconnectWaitsDoubleUpToTheMaximumWithJitter()
    {
        ReconnectBackoff backoff { TunnelTimings {} };
        QCOMPARE(backoff.delay(), 2.0);
        const double expected[] = { 2, 4, 8, 16, 32, 60, 60 };
        for (const double base : expected) {
            const auto wait = backoff.takeWait().count();
            QVERIFY2(wait >= base * 800 && wait <= base * 1200, qPrintable(QString::number(wait)));
        }
        QCOMPARE(backoff.delay(), 60.0);
    }
};

QTEST_GUILESS_MAIN(TunnelProtocolSupportTest)
#include "tst_TunnelProtocolSupport.moc"
