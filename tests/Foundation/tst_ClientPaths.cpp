#include "Foundation/ClientPaths.h"
#include "Foundation/Error.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::modeOf;
using Vetron::Test::writeFile;

namespace {

const QByteArray goodConfig = R"({"ssh_host":"tun.example","ssh_user":"u1","ssh_port":22,"local_port":18080,
    "remote_port":3128,"unlock_host":"unlock.example"})";

// A data directory holding the six core files with `config` as "config.json" and no thumbprint.
void fillCoreSet(const QString &directory, const QByteArray &config)
{
    for (const QString &name : ClientPaths::coreSet())
        QVERIFY(writeFile(directory + u'/' + name, name == u"config.json"_s ? config : QByteArray("x")));
}

} // namespace

class ClientPathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rootIsTheDataLocationWithVetronAppendedInsideTheTestProfile()
    {
        const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(ClientPaths::root(), location + u"/Vetron"_s);
        QVERIFY(ClientPaths::root().startsWith(Test::temporaryHome() + u'/'));
        // Computed once: a later change of the profile does not move it.
        qputenv("HOME", "/elsewhere");
        QCOMPARE(ClientPaths::root(), location + u"/Vetron"_s);
        qputenv("HOME", QFile::encodeName(Test::temporaryHome()));
    }

    // Made private whatever the umask, with its parents; an existing one is left as it is.
    void prepareMakesAPrivateDirectoryAndLeavesAnExistingOneAlone()
    {
        const mode_t previous = ::umask(0);
        ClientPaths::prepare();
        ::umask(previous);
        QCOMPARE(modeOf(ClientPaths::root()), mode_t(0700));
        QVERIFY(::chmod(QFile::encodeName(ClientPaths::root()).constData(), 0755) == 0);
        QVERIFY(writeFile(ClientPaths::config(), goodConfig));
        ClientPaths::prepare();
        QCOMPARE(modeOf(ClientPaths::root()), mode_t(0755));
        QVERIFY(QFile::exists(ClientPaths::config()));
    }

    void prepareReportsWhatStandsInTheWay()
    {
        QVERIFY(Test::removeTemporaryTree(ClientPaths::root()));
        QVERIFY(writeFile(ClientPaths::root(), "a file where the directory belongs"));
        try {
            ClientPaths::prepare();
            QFAIL("prepare succeeded over a file");
        } catch (const FileError &error) {
            QCOMPARE(error.path(), ClientPaths::root());
            QVERIFY(error.description().contains(ClientPaths::root()));
        }
        QVERIFY(QFile::remove(ClientPaths::root()));
    }

    void completenessFollowsEveryRule_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("emptied");   // a core file left with 0 bytes
        QTest::addColumn<QString>("missing");   // a core file not there at all
        QTest::addColumn<QString>("directory"); // a core name that is a directory instead
        QTest::addColumn<bool>("complete");

        const auto config
            = [](const char *from, const char *to) { return QByteArray(goodConfig).replace(from, to); };
        QTest::addRow("complete without thumbprint") << goodConfig << ""
                                                     << ""
                                                     << "" << true;
        QTest::addRow("empty known_hosts") << goodConfig << "known_hosts"
                                           << ""
                                           << "" << false;
        QTest::addRow("missing private key") << goodConfig << ""
                                             << "anontun"
                                             << "" << false;
        QTest::addRow("CA is a directory") << goodConfig << ""
                                           << ""
                                           << "server-ca.pem" << false;
        QTest::addRow("ssh port 0") << config("\"ssh_port\":22", "\"ssh_port\":0") << ""
                                    << ""
                                    << "" << false;
        QTest::addRow("negative remote port") << config("\"remote_port\":3128", "\"remote_port\":-1") << ""
                                              << ""
                                              << "" << false;
        QTest::addRow("not JSON") << QByteArray("{ssh_host") << ""
                                  << ""
                                  << "" << false;
        QTest::addRow("no unlock host") << config(",\"unlock_host\":\"unlock.example\"", "") << ""
                                        << ""
                                        << "" << false;
        QTest::addRow("blank unlock host") << config("\"unlock.example\"", "\" \"") << ""
                                           << ""
                                           << "" << true;
        QTest::addRow("empty unlock host") << config("\"unlock.example\"", "\"\"") << ""
                                           << ""
                                           << "" << false;
        QTest::addRow("empty user") << config("\"u1\"", "\"\"") << ""
                                    << ""
                                    << "" << false;
        QTest::addRow("empty host") << config("\"tun.example\"", "\"\"") << ""
                                    << ""
                                    << "" << false;
    }

    void completenessFollowsEveryRule()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, emptied);
        QFETCH(QString, missing);
        QFETCH(QString, directory);
        QFETCH(bool, complete);

        QTemporaryDir data;
        fillCoreSet(data.path(), config);
        if (!emptied.isEmpty())
            QVERIFY(writeFile(data.filePath(emptied), {}));
        if (!missing.isEmpty())
            QVERIFY(QFile::remove(data.filePath(missing)));
        if (!directory.isEmpty()) {
            QVERIFY(QFile::remove(data.filePath(directory)));
            QVERIFY(QDir(data.path()).mkdir(directory));
            QVERIFY(writeFile(data.filePath(directory + u"/inside"_s), "not empty"));
        }
        QCOMPARE(ClientPaths::hasCompleteActivation(data.path()), complete);
    }

    void completenessLooksAtTheDiskEveryTime()
    {
        QTemporaryDir data;
        QVERIFY(!ClientPaths::hasCompleteActivation(data.path()));
        fillCoreSet(data.path(), goodConfig);
        QVERIFY(ClientPaths::hasCompleteActivation(data.path()));
        QVERIFY(QFile::remove(data.filePath(u"anon-map.key"_s)));
        QVERIFY(!ClientPaths::hasCompleteActivation(data.path()));
        QVERIFY(!ClientPaths::hasCompleteActivation(data.path() + u"/no-such-directory"_s));
    }
};

QTEST_GUILESS_MAIN(ClientPathsTest)
#include "tst_ClientPaths.moc"
