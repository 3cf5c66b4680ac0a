#include "AccountServer.h"
#include "ProcessTree.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestFiles.h"
#include "Updates/UpdateService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::StandIns;

namespace {

QByteArray runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished();
    return process.readAllStandardOutput();
}

// Signs the manifest's message with a private key, as the publisher does.
QString signatureFor(const MacReleaseManifest &manifest, const QString &privateKey)
{
    const QByteArray message
        = (manifest.version + u'\n' + manifest.url + u'\n' + manifest.sha256.toLower()).toUtf8();
    const QStringList arguments { u"dgst"_s, u"-sha256"_s, u"-sign"_s, privateKey };
    return QString::fromLatin1(runTool(u"/usr/bin/openssl"_s, arguments, message).toBase64());
}

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

class UpdateServiceTest : public QObject
{
    Q_OBJECT

    const QString m_privateKey = QStringLiteral(VETRON_RELEASE_PRIVATE_KEY);
    QTemporaryDir m_temp;
    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<StandIns> m_standIns;

    UpdateService::Options options() const
    {
        UpdateService::Options result;
        result.servers = { m_server->baseUrl(), m_server->baseUrl() };
        result.tools = m_standIns->tools();
        return result;
    }

    MacReleaseManifest signedManifest(const QByteArray &image, const QString &version = u"1.4.2"_s) const
    {
        MacReleaseManifest manifest { version,
            m_server->baseUrl().toString() + u"/static/releases/Vetron-macOS.dmg"_s, sha256Of(image), {},
            u"Ветрон 1.4.2"_s, QStringList { u"Быстрее"_s } };
        manifest.signature = signatureFor(manifest, m_privateKey);
        return manifest;
    }

    // Whether the shell `shell` is running the sleep of its waiting loop.
    static bool waitsInItsLoop(pid_t shell)
    {
        const QList<pid_t> children = LocalStack::ProcessTree::descendantsOf(shell);
        return std::any_of(children.cbegin(), children.cend(), [](pid_t child) {
            QFile name(u"/proc/%1/comm"_s.arg(child));
            return name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "sleep";
        });
    }

    QStringList workDirectories() const
    {
        return QDir(QDir::tempPath()).entryList({ u"vetron-update-*"_s }, QDir::Dirs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (m_privateKey.isEmpty())
            QSKIP("built with a publisher's release key: no private key to sign test manifests");
    }

    void init()
    {
        m_standIns = std::make_unique<StandIns>();
        QVERIFY(m_server = Test::startAccountServer());
    }

    void versionRule_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("upgrade");
        QTest::addRow("1.10.0 over 1.9.3") << u"1.10.0"_s << u"1.9.3"_s << true;
        QTest::addRow("same version") << u"1.2"_s << u"1.2"_s << false;
        QTest::addRow("one piece") << u"2"_s << u"1.0"_s << false;
        QTest::addRow("not a number") << u"1.2.beta"_s << u"1.0"_s << false;
        QTest::addRow("0.9.x over 1.x") << u"0.9.1"_s << u"1.4.0"_s << true;
        QTest::addRow("0.9.1 over 0.8.0") << u"0.9.1"_s << u"0.8.0"_s << true;
        QTest::addRow("0.8.0 over 1.4.0") << u"0.8.0"_s << u"1.4.0"_s << false;
        QTest::addRow("trailing dot") << u"1.3."_s << u"1.2"_s << true;
        QTest::addRow("older") << u"1.9.9"_s << u"1.10.0"_s << false;
        QTest::addRow("beyond 64 bits") << u"1.99999999999999999999"_s << u"1.0"_s << false;
    }

    void versionRule()
    {
        QFETCH(QString, candidate);
        QFETCH(QString, installed);
        QFETCH(bool, upgrade);
        QCOMPARE(UpdateService::isUpgrade(candidate, installed), upgrade);
    }

    void signatureCoversVersionUrlAndDigest()
    {
        const MacReleaseManifest manifest = signedManifest("image");
        const QString key = options().releaseKey;
        QVERIFY(UpdateService::verify(manifest, key));

        MacReleaseManifest upper = manifest;
        upper.sha256 = upper.sha256.toUpper();
        QVERIFY(UpdateService::verify(upper, key));

        const auto changed = [&](auto change) {
            MacReleaseManifest copy = manifest;
            change(copy);
            return UpdateService::verify(copy, key);
        };
        QVERIFY(!changed([](MacReleaseManifest &m) { m.url += u'/'; }));
        QVERIFY(!changed([](MacReleaseManifest &m) { m.version = u"1.4.3"_s; }));
        QVERIFY(!changed([](MacReleaseManifest &m) {
            m.sha256.replace(0, 1, m.sha256.startsWith(u'a') ? u"b"_s : u"a"_s);
        }));
        QVERIFY(!changed([](MacReleaseManifest &m) { m.signature.insert(64, u'\n'); }));
        QVERIFY(changed([](MacReleaseManifest &m) { m.title = u"Другой заголовок"_s; }));

        // A key that is not the built-in one, or not 3072 bits, proves nothing.
        const QString other = m_temp.filePath(u"other.pem"_s);
        runTool(u"/usr/bin/openssl"_s, { u"genrsa"_s, u"-out"_s, other, u"2048"_s });
        MacReleaseManifest foreign = manifest;
        foreign.signature = signatureFor(foreign, other);
        QVERIFY(!UpdateService::verify(foreign, key));
        const QByteArray otherPublic = runTool(u"/usr/bin/openssl"_s,
            { u"rsa"_s, u"-in"_s, other, u"-RSAPublicKey_out"_s, u"-outform"_s, u"DER"_s });
        QVERIFY(!UpdateService::verify(foreign, QString::fromLatin1(otherPublic.toBase64())));
    }

    void checkFoldsEveryAnswerIntoAState_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::addRow("404") << 404 << QByteArray() << u"Обновления для macOS пока не опубликованы."_s;
        QTest::addRow("503") << 503 << QByteArray() << u"Не удалось проверить обновления."_s;
        QTest::addRow("invalid JSON")
            << 200 << QByteArray("{version") << u"Сервер обновлений не ответил. Попробуйте позже."_s;
        QTest::addRow("bad signature")
            << 200 << QByteArray("bad-signature") << u"Обновление отклонено: неверная подпись."_s;
        // Status 0: an answer that is not HTTP (a file); -1: no answer at all.
        QTest::addRow("not HTTP") << 0 << QByteArray("{}") << u"Сервер обновлений недоступен."_s;
        QTest::addRow("no answer") << -1 << QByteArray()
                                   << u"Сервер обновлений не ответил. Попробуйте позже."_s;
    }

    void checkFoldsEveryAnswerIntoAState()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        if (body == "bad-signature") {
            MacReleaseManifest manifest
                = signedManifest("image", u"0.1.0"_s); // offers nothing new, still refused
            manifest.version = u"0.1.1"_s;
            body = encodeJson(manifest);
        }
        UpdateService::Options checkOptions = options();
        if (status == 0) {
            const QString portal = m_temp.filePath(u"portal"_s);
            QVERIFY(QDir().mkpath(portal + u"/api/v1/releases/macos"_s));
            QVERIFY(Test::writeFile(portal + u"/api/v1/releases/macos/stable"_s, body));
            checkOptions.servers.portalBase = QUrl::fromLocalFile(portal);
        }
        if (status < 0)
            m_server->close();
        m_server->setOverride(u"/api/v1/releases/macos/stable"_s, status, body);
        const auto state = awaitTask(UpdateService::check(u"1.0.0"_s, checkOptions)).value;
        QCOMPARE(state->kind, UpdateScreenState::Kind::failed);
        QCOMPARE(state->message, message);
    }

    void checkOffersOnlyNewerSignedReleases()
    {
        m_server->setReleaseManifest(encodeJson(signedManifest("image", u"1.4.2"_s)));
        const auto newer = awaitTask(UpdateService::check(u"1.4.1"_s, options())).value;
        QCOMPARE(newer->kind, UpdateScreenState::Kind::available);
        QCOMPARE(newer->manifest->title, u"Ветрон 1.4.2"_s);
        QCOMPARE(awaitTask(UpdateService::check(u"1.4.2"_s, options())).value->kind,
            UpdateScreenState::Kind::current);
        // A 0.9.x release goes over 1.x and later only, never over a later 0.9.
        m_server->setReleaseManifest(encodeJson(signedManifest("image", u"0.9.1"_s)));
        QCOMPARE(awaitTask(UpdateService::check(u"0.9.5"_s, options())).value->kind,
            UpdateScreenState::Kind::current);
    }

    void cancelledCheckReturnsToIdle()
    {
        m_server->setOverride(u"/api/v1/releases/macos/stable"_s, 0, {}, 5000);
        auto cancel = CancellationToken::create();
        QTimer::singleShot(100, cancel.get(), &CancellationToken::cancel);
        QCOMPARE(awaitTask(UpdateService::check(u"1.0.0"_s, options(), cancel)).value->kind,
            UpdateScreenState::Kind::idle);
    }

    void installMountsInstallsAndDetaches()
    {
        const QByteArray image = Test::releaseImage({ u"Vetron.pkg"_s });
        const MacReleaseManifest manifest = signedManifest(image);
        m_server->setFile(u"/static/releases/Vetron-macOS.dmg"_s, image);
        const auto outcome = awaitTask(UpdateService::install(manifest, options())).value;
        QCOMPARE(outcome->kind, UpdateInstallOutcome::Kind::relaunching);
        QCOMPARE(outcome->bundlePath, QDir::homePath() + u"/Applications/Ветрон.app"_s);
        QVERIFY(QFileInfo(outcome->bundlePath + u"/Contents/Info.plist"_s).isFile());

        const auto installs = m_standIns->calls(u"installer"_s);
        QCOMPARE(installs.size(), 1);
        QVERIFY(installs.first().at(1).endsWith(u"/mount/Vetron.pkg"_s));
        QCOMPARE(installs.first().mid(2), (QStringList { u"-target"_s, u"CurrentUserHomeDirectory"_s }));
        const auto hdiutil = m_standIns->calls(u"hdiutil"_s);
        QCOMPARE(hdiutil.first().mid(2, 4),
            (QStringList { u"-nobrowse"_s, u"-readonly"_s, u"-noverify"_s, u"-mountpoint"_s }));
        QCOMPARE(hdiutil.last().first(), u"detach"_s);
        QCOMPARE(hdiutil.last().last(), u"-force"_s);
    }

    void installFailuresGiveTheirMessages_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("workDirectoryMade");
        QTest::addRow("digest mismatch")
            << u"digest"_s << u"Обновление отклонено: файл повреждён."_s << false;
        QTest::addRow("403") << u"403"_s << u"Не удалось скачать обновление."_s << false;
        QTest::addRow("no package") << u"no package"_s
                                    << u"В образе обновления не найден установочный пакет."_s << true;
        QTest::addRow("installer fails")
            << u"installer"_s << u"Не удалось установить обновление. Попробуйте позже."_s << true;
        QTest::addRow("mount fails") << u"attach"_s << u"Не удалось скачать обновление. Попробуйте позже."_s
                                     << true;
        QTest::addRow("cut mid-body")
            << u"cut"_s << u"Не удалось скачать обновление. Попробуйте позже."_s << false;
        QTest::addRow("stalled") << u"stall"_s << u"Не удалось скачать обновление. Попробуйте позже."_s
                                 << false;
    }

    void installFailuresGiveTheirMessages()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(bool, workDirectoryMade);
        const QByteArray image
            = Test::releaseImage({ fault == u"no package"_s ? u"Other.pkg"_s : u"Vetron.pkg"_s });
        MacReleaseManifest manifest = signedManifest(image);
        m_server->setFile(u"/static/releases/Vetron-macOS.dmg"_s, image);
        if (fault == u"digest"_s) {
            QByteArray flipped = image;
            flipped[100] = char(flipped[100] ^ 0x01);
            m_server->setFile(u"/static/releases/Vetron-macOS.dmg"_s, flipped);
        }
        if (fault == u"403"_s)
            m_server->setOverride(u"/static/releases/Vetron-macOS.dmg"_s, 403, "{}");
        if (fault == u"installer"_s)
            m_standIns->setFailingOptions(u"installer"_s, { u"fail"_s });
        if (fault == u"attach"_s)
            m_standIns->setFailingOptions(u"hdiutil"_s, { u"attach"_s });
        // The server declares the whole image, sends half of it, then closes or falls silent.
        UpdateService::Options installOptions = options();
        if (fault == u"cut"_s || fault == u"stall"_s) {
            using Delivery = Tools::HttpOverride::Delivery;
            const Delivery delivery = fault == u"cut"_s ? Delivery::cutAfterPart : Delivery::stallAfterPart;
            m_server->setOverride(u"/static/releases/Vetron-macOS.dmg"_s,
                Tools::HttpOverride { 0, {}, 0, delivery, image.size() / 2 });
            installOptions.timeout = Test::httpsExchangeLimit;
        }

        const QStringList before = workDirectories();
        const auto outcome = awaitTask(UpdateService::install(manifest, installOptions)).value;
        QCOMPARE(outcome->kind, UpdateInstallOutcome::Kind::failed);
        QCOMPARE(outcome->message, message);
        QCOMPARE(workDirectories().size(), before.size() + (workDirectoryMade ? 1 : 0));
        if (fault == u"no package"_s || fault == u"installer"_s)
            QCOMPARE(m_standIns->calls(u"hdiutil"_s).last(),
                (QStringList { u"detach"_s, m_standIns->calls(u"hdiutil"_s).first().last(), u"-force"_s }));
    }

    void aLinuxDesktopAsksForLinuxReleases()
    {
        UpdateService::Options linux = options();
        linux.system = SystemBackend::desktop;
        QCOMPARE(awaitTask(UpdateService::check(u"1.4.1"_s, linux)).value->message,
            u"Обновления для Linux пока не опубликованы."_s);
        m_server->setFile(u"/api/v1/releases/linux/stable"_s, encodeJson(signedManifest("package")));
        QCOMPARE(awaitTask(UpdateService::check(u"1.4.1"_s, linux)).value->kind,
            UpdateScreenState::Kind::available);
    }

    // On a Linux desktop the verified package goes to apt-get through the authentication prompt,
    // readable by apt's own user; a dismissed prompt installs nothing, and without a prompt the
    // package's folder is opened and the message says how to install it.
    void aLinuxDesktopHandsThePackageToTheSystemInstaller_data()
    {
        QTest::addColumn<int>("prompt");      // pkexec's exit status
        QTest::addColumn<QString>("message"); // how the message begins; none when installed
        QTest::addRow("installed") << 0 << QString();
        QTest::addRow("prompt dismissed")
            << 126 << u"Обновление не установлено: запрос пароля администратора отменён."_s;
        QTest::addRow("no prompt") << 127 << u"Установить обновление автоматически нельзя"_s;
        QTest::addRow("installer fails") << 100 << u"Не удалось установить обновление. Попробуйте позже."_s;
    }

    void aLinuxDesktopHandsThePackageToTheSystemInstaller()
    {
        QFETCH(int, prompt);
        QFETCH(QString, message);
        const QByteArray package = Test::tarArchive({ { u"usr/bin/vetron"_s, "#!/bin/sh\n" } });
        m_server->setFile(u"/static/releases/Vetron-macOS.dmg"_s, package);
        if (prompt != 0)
            QVERIFY(Test::writeFile(qEnvironmentVariable("VETRON_STANDIN_STATE") + u"/pkexec.exit"_s,
                QByteArray::number(prompt)));
        UpdateService::Options linux = options();
        linux.system = SystemBackend::desktop;
        // Where the stand-in, like apt-get at /, puts the package's executable.
        linux.installedClient = qEnvironmentVariable("VETRON_STANDIN_STATE") + u"/root/usr/bin/vetron"_s;
        const auto outcome = awaitTask(UpdateService::install(signedManifest(package), linux)).value;

        const QList<QStringList> prompts = m_standIns->calls(u"pkexec"_s);
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(
            prompts.first().mid(0, 3), (QStringList { u"/usr/bin/apt-get"_s, u"install"_s, u"--yes"_s }));
        const QString file = prompts.first().last();
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), package);
        QVERIFY(written.permissions().testFlag(QFile::ReadOther));
        QVERIFY(QFileInfo(QFileInfo(file).path()).permissions().testFlag(QFile::ExeOther));
        QCOMPARE(m_standIns->calls(u"xdg-open"_s),
            prompt == 127 ? QList<QStringList> { { QFileInfo(file).path() } } : QList<QStringList> {});
        if (message.isEmpty()) {
            QCOMPARE(outcome->kind, UpdateInstallOutcome::Kind::relaunching);
            // The installed executable is started itself; macOS's open is no Linux tool.
            QCOMPARE(outcome->bundlePath, linux.installedClient);
            QVERIFY(QFileInfo(outcome->bundlePath).isFile());
            QVERIFY(UpdateService::relaunchScript(1, outcome->bundlePath, linux.tools, linux.system)
                        .endsWith(u"; exec '"_s + linux.installedClient + u"'"_s));
            return;
        }
        QCOMPARE(outcome->kind, UpdateInstallOutcome::Kind::failed);
        QVERIFY2(outcome->message.startsWith(message), qPrintable(outcome->message));
        if (prompt == 127)
            QVERIFY(outcome->message.contains(file));
    }

    void relaunchWaitsForTheProcessThenOpensTheBundle()
    {
#ifndef Q_OS_LINUX
        QSKIP("Sees the script's pause through /proc, which only Linux has.");
#endif
        const QString bundle = m_temp.filePath(u"Anna's Apps/Ветрон.app"_s);
        QVERIFY(QDir().mkpath(bundle));
        QProcess running;
        running.start(u"/bin/sleep"_s, { u"60"_s });
        QVERIFY(running.waitForStarted());

        const QString script
            = UpdateService::relaunchScript(running.processId(), bundle, m_standIns->tools());
        QVERIFY(script.startsWith(u"while /bin/kill -0 "_s));
        QVERIFY(script.endsWith(u"/open '"_s + QString(bundle).replace(u"'"_s, u"'\\''"_s) + u"'"_s));
        qint64 shell = 0;
        QVERIFY(QProcess::startDetached(u"/bin/sh"_s, { u"-c"_s, script }, {}, &shell));
        // The script's pause between two looks proves it has found the process still there.
        QTRY_VERIFY_WITH_TIMEOUT(waitsInItsLoop(pid_t(shell)), 30000);
        QVERIFY(m_standIns->calls(u"open"_s).isEmpty());
        running.kill();
        QVERIFY(running.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(m_standIns->calls(u"open"_s).size(), 1, 10000);
        QCOMPARE(m_standIns->calls(u"open"_s).first(), QStringList { bundle });
    }
};

QTEST_GUILESS_MAIN(UpdateServiceTest)
#include "tst_UpdateService.moc"
