#include "Foundation/ClientPaths.h"
#include "Foundation/ProcessRunner.h"
#include "Platform/BrowserCertificateStores.h"
#include "PrivateDesktop.h"
#include "Protection/TunnelService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"
#include "TestSupport/TunnelFixture.h"

#include <QDir>
#include <QProcess>
#include <QSslCertificate>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::readFile;
using Vetron::Test::writeFile;

namespace {

const QString certutilPath = u"/usr/bin/certutil"_s;

QString home()
{
    return Test::temporaryHome();
}

QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString newChromiumDatabase()
{
    return home() + u"/.local/share/pki/nssdb"_s;
}

// Runs certutil on `database` to set up or check a store: its exit status.
int certutil(const QString &database, QStringList arguments)
{
    arguments << u"-d"_s << u"sql:"_s + database;
    QProcess process;
    process.start(certutilPath, arguments);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// An empty database in `folder`, or one locked by a primary password.
bool makeDatabase(const QString &folder, const QString &password = {})
{
    if (!QDir().mkpath(folder))
        return false;
    if (password.isEmpty())
        return certutil(folder, { u"-N"_s, u"--empty-password"_s }) == 0;
    const QString passwordFile = folder + u"/../password"_s;
    return writeFile(passwordFile, password.toUtf8())
        && certutil(folder, { u"-N"_s, u"-f"_s, passwordFile }) == 0;
}

bool makeDamagedDatabase(const QString &folder)
{
    return QDir().mkpath(folder) && writeFile(folder + u"/cert9.db"_s, "not a database")
        && writeFile(folder + u"/key4.db"_s, "not a database");
}

// A "profiles.ini" in `root` that lists `profiles` (each a Path= value and whether it is relative),
// with the other sections Firefox writes around them.
bool listProfiles(const QString &root, const QList<std::pair<QString, bool>> &profiles)
{
    QByteArray text = "[Install4F96D1932A9F858E]\nDefault=elsewhere.default\nLocked=1\n\n";
    for (qsizetype index = 0; index < profiles.size(); ++index) {
        text += "[Profile" + QByteArray::number(index) + "]\nName=p" + QByteArray::number(index)
            + "\nIsRelative=" + (profiles[index].second ? "1" : "0")
            + "\nPath=" + profiles[index].first.toUtf8() + "\n\n";
    }
    text += "[General]\nStartWithLastProfile=1\nVersion=2\n";
    return QDir().mkpath(root) && writeFile(root + u"/profiles.ini"_s, text);
}

QString writeAuthority(const QString &name, const QByteArray &pem)
{
    const QString path = home() + u"/tmp/"_s + name;
    return writeFile(path, pem) ? path : QString();
}

} // namespace

// The real NSS tools on databases in the test's own home folder; whether a browser would trust
// the protection server is asked of NSS itself, by a TLS handshake with a local HTTPS server
// whose certificate the test authority signed.
class BrowserCertificateStoresTest : public QObject
{
    Q_OBJECT

    LocalStack::PrivateDesktop m_desktop; // for the switch-on's desktop proxies
    std::unique_ptr<Tools::AccountServer> m_server;
    QString m_authority;
    QStringList m_log;

    BrowserCertificateStores::LogFunction log()
    {
        return [this](const QString &line) { m_log << line; };
    }

    bool trusts(const QString &database)
    {
        const QStringList arguments { u"-h"_s, u"127.0.0.1"_s, u"-p"_s,
            QString::number(m_server->baseUrl().port()), u"-d"_s, u"sql:"_s + database, u"-Q"_s };
        const auto outcome = awaitTask(ProcessRunner::run(u"/usr/bin/tstclnt"_s, arguments, QByteArray()));
        return outcome.finished && !outcome.error;
    }

    bool holdsNothingUnderTheNickname(const QString &database)
    {
        return certutil(database, { u"-L"_s, u"-n"_s, BrowserCertificateStores::nickname() }) != 0;
    }

    Test::TaskOutcome<void> trust(const QString &authority)
    {
        return awaitTask(BrowserCertificateStores::trust(authority, certutilPath, log()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.error()));
        QVERIFY(m_server = Test::startAccountServer());
        m_authority = writeAuthority(u"server-ca.pem"_s, Test::trustedCertificates().caCertificatePem());
        QVERIFY(!m_authority.isEmpty());
    }

    void init()
    {
        m_log.clear();
        for (const QString &folder : { home() + u"/.pki"_s, home() + u"/.local/share/pki"_s,
                 home() + u"/.mozilla"_s, configHome() + u"/mozilla"_s, home() + u"/snap"_s,
                 home() + u"/.var"_s, home() + u"/Profiles"_s })
            Test::removeTemporaryTree(folder);
    }

    void everyBrowsersDatabaseTrustsTheServer_data()
    {
        QTest::addColumn<bool>("olderChromiumFolder");
        QTest::addRow("Chromium's database made in its current folder") << false;
        QTest::addRow("Chromium's older folder, which it prefers") << true;
    }

    void everyBrowsersDatabaseTrustsTheServer()
    {
        QFETCH(bool, olderChromiumFolder);
        const QString chromium = olderChromiumFolder ? home() + u"/.pki/nssdb"_s : newChromiumDatabase();
        if (olderChromiumFolder)
            QVERIFY(makeDatabase(chromium));
        const QString mozilla = home() + u"/.mozilla/firefox"_s;
        const QString absolute = home() + u"/Profiles/Рабочий, основной"_s;
        const QString snap = home() + u"/snap/firefox/common/.mozilla/firefox"_s;
        const QString flatpak = home() + u"/.var/app/org.mozilla.firefox/.mozilla/firefox"_s;
        QVERIFY(listProfiles(mozilla, { { u"abc.default-release"_s, true }, { u"never.run"_s, true } }));
        QVERIFY(listProfiles(configHome() + u"/mozilla/firefox"_s, { { absolute, false } }));
        QVERIFY(listProfiles(snap, { { u"snap.default"_s, true } }));
        QVERIFY(listProfiles(flatpak, { { u"flat.default"_s, true } }));
        const QStringList firefox { mozilla + u"/abc.default-release"_s, absolute, snap + u"/snap.default"_s,
            flatpak + u"/flat.default"_s };
        for (const QString &profile : firefox) {
            QVERIFY(makeDatabase(profile));
            QVERIFY2(!trusts(profile), qPrintable(profile));
        }
        QVERIFY(QDir().mkpath(mozilla + u"/never.run"_s));

        const auto outcome = trust(m_authority);
        QVERIFY2(outcome.finished && !outcome.error, qPrintable(outcome.errorDescription()));
        QCOMPARE(m_log, QStringList());
        for (const QString &database : firefox + QStringList { chromium })
            QVERIFY2(trusts(database), qPrintable(database));
        QVERIFY(!QFileInfo::exists(mozilla + u"/never.run/cert9.db"_s)); // Firefox makes it on first run
        if (olderChromiumFolder)
            QVERIFY(!QFileInfo::exists(newChromiumDatabase()));
        else
            QCOMPARE(Test::modeOf(chromium), mode_t(0700));
    }

    // One profile locked by a primary password, one damaged: the rest still take the authority;
    // only when none does is it an error. The locked one keeps no untrusted copy.
    void databasesThatRefuseAreLoggedAndSkipped_data()
    {
        QTest::addColumn<bool>("chromiumDamaged");
        QTest::addRow("Chromium's takes it") << false;
        QTest::addRow("none takes it") << true;
    }

    void databasesThatRefuseAreLoggedAndSkipped()
    {
        QFETCH(bool, chromiumDamaged);
        if (chromiumDamaged)
            QVERIFY(makeDamagedDatabase(home() + u"/.pki/nssdb"_s));
        const QString root = home() + u"/.mozilla/firefox"_s;
        QVERIFY(listProfiles(root, { { u"locked"_s, true }, { u"damaged"_s, true } }));
        QVERIFY(makeDatabase(root + u"/locked"_s, u"secret"_s));
        QVERIFY(makeDamagedDatabase(root + u"/damaged"_s));

        const auto outcome = trust(m_authority);
        QVERIFY(outcome.finished);
        QCOMPARE(m_log.size(), chromiumDamaged ? 3 : 2);
        QVERIFY(
            m_log.filter(root + u"/locked"_s).size() == 1 && m_log.filter(root + u"/damaged"_s).size() == 1);
        QVERIFY(holdsNothingUnderTheNickname(root + u"/locked"_s));
        if (chromiumDamaged) {
            QVERIFY(outcome.errorDescription().startsWith(
                u"Сертификат сервера защиты не удалось добавить ни в одно хранилище сертификатов браузеров: "_s));
        } else {
            QVERIFY2(!outcome.error, qPrintable(outcome.errorDescription()));
            QVERIFY(trusts(newChromiumDatabase()));
        }
    }

    // A database that trusts the authority already is not written again; one that holds it
    // without trust gets the trust back, and one that holds an earlier server's under the
    // nickname gets the new one instead.
    void trustingAgainWritesNothingAndANewAuthorityReplacesTheOld()
    {
        QVERIFY(!trust(m_authority).error);
        const QByteArray written = readFile(newChromiumDatabase() + u"/cert9.db"_s);
        QVERIFY(!trust(m_authority).error);
        QCOMPARE(readFile(newChromiumDatabase() + u"/cert9.db"_s), written);

        QCOMPARE(certutil(newChromiumDatabase(),
                     { u"-M"_s, u"-n"_s, BrowserCertificateStores::nickname(), u"-t"_s, u",,"_s }),
            0);
        QVERIFY(!trusts(newChromiumDatabase()));
        QVERIFY(!trust(m_authority).error);
        QVERIFY(trusts(newChromiumDatabase()));

        const QByteArray otherPem = LocalStack::DeveloperCertificates::makeCaPem();
        const QString other = writeAuthority(u"other-ca.pem"_s, otherPem);
        QVERIFY(!other.isEmpty());
        const auto outcome = trust(other);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorDescription()));
        QVERIFY(!trusts(newChromiumDatabase()));
        QProcess listing;
        listing.start(certutilPath,
            { u"-L"_s, u"-a"_s, u"-n"_s, BrowserCertificateStores::nickname(), u"-d"_s,
                u"sql:"_s + newChromiumDatabase() });
        QVERIFY(listing.waitForFinished(-1));
        QCOMPARE(
            QSslCertificate::fromData(listing.readAllStandardOutput()), QSslCertificate::fromData(otherPem));
        QCOMPARE(m_log, QStringList());
    }

    void removalTakesItOutEverywhereAndMakesNothing()
    {
        QVERIFY(!awaitTask(BrowserCertificateStores::remove(certutilPath, log())).error);
        QVERIFY(!QFileInfo::exists(newChromiumDatabase()));

        const QString profile = home() + u"/.mozilla/firefox/abc.default"_s;
        QVERIFY(listProfiles(home() + u"/.mozilla/firefox"_s, { { u"abc.default"_s, true } }));
        QVERIFY(makeDatabase(profile));
        QVERIFY(!trust(m_authority).error);
        QVERIFY(trusts(profile));

        QVERIFY(awaitTask(BrowserCertificateStores::remove(certutilPath, log())).finished);
        QVERIFY(!trusts(profile) && !trusts(newChromiumDatabase()));
        QVERIFY(holdsNothingUnderTheNickname(profile));
        QVERIFY(awaitTask(BrowserCertificateStores::remove(certutilPath, log())).finished);
        QCOMPARE(m_log, QStringList());
    }

    // A profile made after enrollment gets the authority at the next switch-on; an authority
    // that cannot be trusted is logged and the switch-on goes on.
    void theSwitchOnTrustsTheServerInNewProfiles_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::addRow("the enrolled authority") << true;
        QTest::addRow("an unreadable authority") << false;
    }

    void theSwitchOnTrustsTheServerInNewProfiles()
    {
        QFETCH(bool, readable);
        Test::TunnelFixture fixture;
        QVERIFY2(fixture.start(), qPrintable(fixture.error()));
        QVERIFY(writeFile(ClientPaths::serverCA(),
            readable ? Test::trustedCertificates().caCertificatePem() : QByteArray("no certificate")));
        const QString profile = home() + u"/.mozilla/firefox/new.profile"_s;
        QVERIFY(listProfiles(home() + u"/.mozilla/firefox"_s, { { u"new.profile"_s, true } }));
        QVERIFY(makeDatabase(profile));

        TunnelService::Options options = fixture.serviceOptions();
        options.system = SystemBackend::desktop;
        options.tools.certutil = certutilPath;
        options.log = log();
        QList<ProtectionState> states;
        TunnelService service([&](ProtectionState state, const QString &) { states << state; }, options);
        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(states, (QList { ProtectionState::connecting, ProtectionState::protected_ }));
        QCOMPARE(trusts(profile), readable);
        QCOMPARE(m_log.size(), readable ? 0 : 1);
        QVERIFY(awaitTask(service.disable()).finished);
    }
};

QTEST_GUILESS_MAIN(BrowserCertificateStoresTest)
#include "tst_BrowserCertificateStores.moc"
