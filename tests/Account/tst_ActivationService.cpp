#include "Account/AccountErrors.h"
#include "Account/ActivationService.h"
#include "Account/DeviceCredentialStore.h"
#include "AccountServer.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"
#include "Foundation/ProcessRunner.h"
#include "Platform/ComputerName.h"
#ifndef Q_OS_MACOS
#include "Platform/BrowserCertificateStores.h"
#endif
#include "TestSupport/AwaitTask.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::modeOf;
using Vetron::Test::readFile;
using Vetron::Test::StandIns;

namespace {

const QString goodKey = u"VTRN-2F9K-77QA-P0XZ-11"_s; // 22 characters
const QString hostKey = u"ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOM7mrFt9+zTz8EvF0ZlFqUMmS5qGS2cv4mtWzvo2yYr"_s;

} // namespace

class ActivationServiceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<StandIns> m_standIns;

    ActivationService::Options options() const
    {
        return { { m_server->baseUrl(), m_server->baseUrl() }, m_standIns->tools(), hostKey };
    }

    QString keychain(const QString &name) const
    {
        return Test::temporaryHome() + u"/Library/Keychains/"_s + name;
    }

    QStringList dataFiles() const
    {
        return QDir(ClientPaths::root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QJsonArray trustedCertificates() const
    {
        return m_standIns->securityState().value(u"certificates"_s).toArray();
    }

    void setEnrollmentPort(int port, const QString &host = u"tun.vetron.test"_s)
    {
        QJsonObject answer = m_server->enrollmentAnswer();
        answer.insert(u"ssh_host"_s, host);
        answer.insert(u"ssh_port"_s, port);
        answer.insert(u"ca_pem"_s, QString::fromUtf8(Test::trustedCertificates().caCertificatePem()));
        m_server->setEnrollmentAnswer(answer);
    }

private Q_SLOTS:
    void init()
    {
        Test::removeTemporaryTree(ClientPaths::root());
        Test::removeTemporaryTree(Test::temporaryHome() + u"/Library"_s);
        QVERIFY(QDir().mkpath(keychain({})));
        QFile(keychain(u"login.keychain-db"_s)).open(QIODevice::WriteOnly);
        m_standIns = std::make_unique<StandIns>();
        DeviceCredentialStore::forgetLegacyCheck();
        QVERIFY(m_server = Test::startAccountServer());
        m_server->acceptEnrollmentToken(goodKey);
        setEnrollmentPort(2222);
    }

    void shortKeysAreRefusedBeforeAnythingHappens_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("longEnough");
        QTest::addRow("19 with blanks around") << u"  \n1234567890123456789 \n"_s << false;
        QTest::addRow("19 letters with combining marks") << QString(u"е\u0301"_s).repeated(19) << false;
        QTest::addRow("19 emoji with skin tones") << QString(u"👍🏽"_s).repeated(19) << false;
        QTest::addRow("20 characters") << u"12345678901234567890"_s << true;
        QTest::addRow("20 emoji with skin tones") << QString(u"👍🏽"_s).repeated(20) << true;
    }

    void shortKeysAreRefusedBeforeAnythingHappens()
    {
        QFETCH(QString, code);
        QFETCH(bool, longEnough);
        const auto outcome = awaitTask(ActivationService::activate(code, options()));
        const auto *error = outcome.errorAs<ActivationError>();
        if (!longEnough) {
            QVERIFY(error);
            QCOMPARE(error->which(), ActivationError::Case::invalidCode);
            QCOMPARE(error->description(), u"Введите ключ из личного кабинета целиком."_s);
            QVERIFY(m_server->requests().isEmpty());
            QVERIFY(!QFileInfo::exists(ClientPaths::root()));
        } else {
            // Long enough to be sent; the server does not know it.
            QVERIFY(error);
            QCOMPARE(error->which(), ActivationError::Case::rejected);
            QCOMPARE(m_server->requests().size(), 1);
        }
    }

    void completeDataDirectoryIsNotEnrolledTwice()
    {
        QVERIFY(awaitTask(ActivationService::activate(goodKey, options())).value);
        m_server->clearRequests();
        const auto outcome = awaitTask(ActivationService::activate(u"short"_s, options()));
        QCOMPARE(outcome.errorAs<ActivationError>()->which(), ActivationError::Case::alreadyActivated);
        QVERIFY(m_server->requests().isEmpty());
    }

    void enrollmentInstallsEverythingTogether_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("sshPort");
        QTest::addColumn<QString>("hostField");
        QTest::addRow("port 22") << u"tun.vetron.test"_s << 22 << u"tun.vetron.test"_s;
        QTest::addRow("port 2222") << u"tun.vetron.test"_s << 2222 << u"[tun.vetron.test]:2222"_s;
        QTest::addRow("host holding a percent sign")
            << u"h%1st.vetron.test"_s << 2222 << u"[h%1st.vetron.test]:2222"_s;
    }

    void enrollmentInstallsEverythingTogether()
    {
        QFETCH(QString, host);
        QFETCH(int, sshPort);
        QFETCH(QString, hostField);
        setEnrollmentPort(sshPort, host);
        const auto outcome = awaitTask(ActivationService::activate(u"\n "_s + goodKey + u"\t"_s, options()));
        QVERIFY2(outcome.value, qPrintable(outcome.errorDescription()));

        QVERIFY(ClientPaths::hasCompleteActivation(ClientPaths::root()));
        QStringList expected = ClientPaths::enrollmentSet();
        expected << u"device-credential.json"_s;
        expected.sort();
        QCOMPARE(dataFiles(), expected); // no scratch directory left behind
        QCOMPARE(modeOf(ClientPaths::root()), mode_t(0700));
        QCOMPARE(modeOf(ClientPaths::privateKey()), mode_t(0600));
        QCOMPARE(QString::fromUtf8(readFile(ClientPaths::knownHosts())), hostField + u' ' + hostKey + u'\n');
        QVERIFY(QRegularExpression(u"^[0-9a-f]{64}$"_s)
                    .match(QString::fromLatin1(readFile(ClientPaths::mapKey())))
                    .hasMatch());
        QCOMPARE(readFile(ClientPaths::root() + u"/server-ca.pem"_s),
            Test::trustedCertificates().caCertificatePem());
        const ClientConfig config = decodeJson<ClientConfig>(readFile(ClientPaths::config()));
        QCOMPARE(config.sshPort, sshPort);
        QCOMPARE(config.unlockHost, u"unlock.vetron.test"_s);
        QCOMPARE(awaitTask(DeviceCredentialStore::read()).value, u"device-token-1"_s);

        // The CA is trusted in the login keychain under the fingerprint openssl prints.
        const QString thumbprint = QString::fromUtf8(readFile(ClientPaths::root() + u"/ca.thumbprint"_s));
        QVERIFY(QRegularExpression(u"^[0-9A-F]{40}$"_s).match(thumbprint).hasMatch());
        QCOMPARE(trustedCertificates().size(), 1);
        QCOMPARE(trustedCertificates().first().toObject().value(u"sha1"_s).toString(), thumbprint);
        QCOMPARE(trustedCertificates().first().toObject().value(u"keychain"_s).toString(),
            keychain(u"login.keychain-db"_s));

        // The request: four string members, straight to the server.
        const auto request = m_server->requests().first();
        QCOMPARE(request.path, u"/api/enroll"_s);
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.size(), 4);
        QCOMPARE(body.value(u"token"_s).toString(), goodKey);
        QCOMPARE(body.value(u"platform"_s).toString(), u"macos"_s);
        QCOMPARE(body.value(u"pubkey"_s).toString(),
            QString::fromUtf8(readFile(ClientPaths::publicKey())).trimmed());
        QVERIFY(body.value(u"pubkey"_s).toString().endsWith(u" vetron-macos"_s));
        const QString computer = Platform::computerName();
        QCOMPARE(body.value(u"device_name"_s).toString(), computer.isEmpty() ? u"Mac"_s : computer);
    }

    void refusalsLeaveTheDataDirectoryEmpty_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("answer"); // members replaced in the server's answer
        QTest::addColumn<QString>("description");
        const QString rejected = u"Ключ недействителен, уже использован или истёк."_s;
        const QString unusable
            = u"Сервер активации прислал непригодные данные подключения. Попробуйте позже или обратитесь в поддержку."_s;
        const QString ca = QString::fromUtf8(Test::trustedCertificates().caCertificatePem());
        const auto with = [](const char *key, const QJsonValue &value) {
            return QJsonObject { { QString::fromLatin1(key), value } };
        };
        QTest::addRow("403 with JSON") << 403 << with("error", u"used"_s) << rejected;
        QTest::addRow("empty token")
            << 200 << with("device_token", u""_s)
            << u"Сервер не выдал токен устройства. Попробуйте активировать Ветрон ещё раз."_s;
        QTest::addRow("host with a line break")
            << 200 << with("ssh_host", u"tun.vetron.test\nProxyCommand x"_s) << unusable;
        QTest::addRow("host with a blank") << 200 << with("ssh_host", u"tun vetron.test"_s) << unusable;
        QTest::addRow("user read as an option") << 200 << with("ssh_user", u"-oProxyCommand=x"_s) << unusable;
        QTest::addRow("empty user") << 200 << with("ssh_user", u""_s) << unusable;
        QTest::addRow("ssh port 0") << 200 << with("ssh_port", 0) << unusable;
        QTest::addRow("local port 65536") << 200 << with("local_port", 65536) << unusable;
        QTest::addRow("remote port negative") << 200 << with("remote_port", -1) << unusable;
        QTest::addRow("two certificates") << 200 << with("ca_pem", ca + ca) << unusable;
        QTest::addRow("no certificate")
            << 200 << with("ca_pem", u"-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n"_s)
            << unusable;
    }

    void refusalsLeaveTheDataDirectoryEmpty()
    {
        QFETCH(int, status);
        QFETCH(QJsonObject, answer);
        QFETCH(QString, description);
        if (status == 200) {
            QJsonObject changed = m_server->enrollmentAnswer();
            for (auto member = answer.constBegin(); member != answer.constEnd(); ++member)
                changed.insert(member.key(), member.value());
            m_server->setEnrollmentAnswer(changed);
        } else {
            m_server->setOverride(u"/api/enroll"_s, status, QJsonDocument(answer).toJson());
        }
        QCOMPARE(awaitTask(ActivationService::activate(goodKey, options())).errorDescription(), description);
        QVERIFY(dataFiles().isEmpty());
        QVERIFY(m_standIns->calls(u"security"_s).isEmpty());
    }

    void failingTrustLeavesNothingBehind()
    {
        m_standIns->setFailingOptions(u"security"_s, { u"add-trusted-cert"_s });
        const auto outcome = awaitTask(ActivationService::activate(goodKey, options()));
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QVERIFY(error->description().startsWith(u"Команда "_s + m_standIns->tools().security));
        QVERIFY(dataFiles().isEmpty());
        // The tool may have added the certificate before it failed: it is taken out again.
        const QList<QStringList> calls = m_standIns->calls(u"security"_s);
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls.at(1).mid(0, 2), (QStringList { u"delete-certificate"_s, u"-Z"_s }));
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
    }

    // "ca.thumbprint", the fifth file, cannot replace a directory that holds something: the
    // certificate goes out of the keychain it went into, the older one when the newer is missing,
    // and the device token goes too, even one an earlier enrollment of this Mac had stored.
    void failedMoveRollsEverythingBack_data()
    {
        QTest::addColumn<QString>("keychainName");
        QTest::addRow("login keychain") << u"login.keychain-db"_s;
        QTest::addRow("only the older login keychain") << u"login.keychain"_s;
    }

    void failedMoveRollsEverythingBack()
    {
        QFETCH(QString, keychainName);
        if (keychainName == u"login.keychain"_s)
            QVERIFY(QFile::remove(keychain(u"login.keychain-db"_s)));
        QVERIFY(QDir().mkpath(ClientPaths::root() + u"/ca.thumbprint/inside"_s));
        DeviceCredentialStore::write(u"earlier-token"_s);
        const auto outcome = awaitTask(ActivationService::activate(goodKey, options()));
        QVERIFY(outcome.errorAs<FileError>());
        QCOMPARE(dataFiles(), QStringList { u"ca.thumbprint"_s });
        QVERIFY(trustedCertificates().isEmpty());
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
        const QList<QStringList> calls = m_standIns->calls(u"security"_s);
        QCOMPARE(calls.at(0).first(), u"add-trusted-cert"_s);
        QCOMPARE(calls.at(0).at(4), keychain(keychainName));
        QCOMPARE(calls.at(1).first(), u"delete-certificate"_s);
        QCOMPARE(calls.at(1).at(3), keychain(keychainName));
    }

#ifndef Q_OS_MACOS
    // On a Linux desktop the browsers' stores take the authority instead of the keychain, and
    // give it back when a later step fails.
    void onTheDesktopTheBrowsersTrustTheServer_data()
    {
        QTest::addColumn<bool>("moveFails");
        QTest::addRow("enrolled") << false;
        QTest::addRow("the move fails") << true;
    }

    void onTheDesktopTheBrowsersTrustTheServer()
    {
        QFETCH(bool, moveFails);
        const QString chromium = Test::temporaryHome() + u"/.local/share/pki/nssdb"_s;
        Test::removeTemporaryTree(chromium);
        if (moveFails)
            QVERIFY(QDir().mkpath(ClientPaths::root() + u"/ca.thumbprint/inside"_s));
        ActivationService::Options desktop = options();
        desktop.system = SystemBackend::desktop;
        const auto outcome = awaitTask(ActivationService::activate(goodKey, desktop));
        QCOMPARE(outcome.finished && !outcome.error, !moveFails);

        QProcess listing;
        listing.start(desktop.tools.certutil,
            { u"-L"_s, u"-a"_s, u"-n"_s, BrowserCertificateStores::nickname(), u"-d"_s,
                u"sql:"_s + chromium });
        QVERIFY(listing.waitForFinished(-1));
        const QList<QSslCertificate> trusted = QSslCertificate::fromData(listing.readAllStandardOutput());
        QCOMPARE(trusted.size(), moveFails ? 0 : 1);
        if (!moveFails)
            QCOMPARE(trusted.first(), Test::trustedCertificates().caCertificate());
        QVERIFY(m_standIns->calls(u"security"_s).isEmpty());
    }
#endif
};

QTEST_GUILESS_MAIN(ActivationServiceTest)
#include "tst_ActivationService.moc"
