#include "App/AppDelegate.h"
#include "Foundation/Error.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

// A window that counts how often it was brought forward.
class FakeWindow : public PresentableWindow
{
public:
    FakeWindow(bool canBecomeKey, int *forwarded)
        : m_canBecomeKey(canBecomeKey)
        , m_forwarded(forwarded)
    {
    }
    bool canBecomeKey() const override { return m_canBecomeKey; }
    void bringForward() override { ++*m_forwarded; }

private:
    bool m_canBecomeKey;
    int *m_forwarded;
};

} // namespace

class AppDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The login item is registered only when the service says it is not yet; a refusal is
    // logged in our words, never thrown out of the start-up duties.
    void loginItemIsRegisteredOnlyWhenMissing_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("registrations");
        QTest::addColumn<QStringList>("log");
        QTest::addRow("already enabled") << true << false << 0 << QStringList();
        QTest::addRow("registered") << false << false << 1 << QStringList();
        QTest::addRow("refused") << false << true << 1
                                 << QStringList { u"Ветрон: не удалось включить автозапуск — Нельзя"_s };
    }

    void loginItemIsRegisteredOnlyWhenMissing()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, refused);
        QFETCH(int, registrations);
        QFETCH(QStringList, log);
        int registered = 0;
        QStringList logged;
        AppDelegate delegate({
            .nothingToDo = [] { return true; },
            .launchAtLogin = { .isEnabled = [&] { return enabled; },
                .registerApplication =
                    [&] {
                        ++registered;
                        if (refused)
                            throw Error(u"Нельзя"_s);
                    } },
            .log = [&](const QString &line) { logged << line; },
        });
        delegate.applicationDidFinishLaunching();
        QCOMPARE(registered, registrations);
        QCOMPARE(logged, log);
    }

    // Linux's login item: an autostart entry that starts this very executable, written when
    // absent and left as it is when present; an unwritable place is logged.
    void autostartEntryStartsTheApplicationAtLogin()
    {
#ifdef Q_OS_MACOS
        QSKIP("The Mac's login item is the system's service: registering it here would make the test "
              "executable the developer's own login item.");
#endif
        const QString path = Platform::autostartEntryPath();
        QCOMPARE(path, Test::temporaryHome() + u"/.config/autostart/vetron.desktop"_s);
        QStringList log;
        AppDelegate delegate(
            { .nothingToDo = [] { return true; }, .log = [&](const QString &line) { log << line; } });
        delegate.enableLaunchAtLogin();
        QCOMPARE(log, QStringList());
        const QStringList lines = QString::fromUtf8(Test::readFile(path)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), u"[Desktop Entry]"_s);
        for (const QString &line : { u"Type=Application"_s, u"Name=Ветрон"_s,
                 u"Exec=\"%1\""_s.arg(QCoreApplication::applicationFilePath()) })
            QVERIFY2(lines.contains(line), qPrintable(line));
        QVERIFY(QFile::permissions(path).testFlag(QFileDevice::ReadOther));

        const QByteArray users = "[Desktop Entry]\nHidden=true\n";
        QVERIFY(Test::writeFile(path, users));
        delegate.enableLaunchAtLogin();
        QCOMPARE(Test::readFile(path), users);

        QVERIFY(Test::removeTemporaryTree(Test::temporaryHome() + u"/.config/autostart"_s));
        QVERIFY(Test::writeFile(Test::temporaryHome() + u"/.config/autostart"_s, {}));
        delegate.enableLaunchAtLogin();
        QCOMPARE(log.size(), 1);
        QVERIFY2(
            log.first().startsWith(u"Ветрон: не удалось включить автозапуск — Не удалось создать папку "_s),
            qPrintable(log.first()));
        QVERIFY(QFile::remove(Test::temporaryHome() + u"/.config/autostart"_s));
    }

    void execLineQuotesReservedCharacters()
    {
        const QByteArray entry = Platform::autostartEntry(u"/opt/Мой $dir/a\"b`c\\d 100%"_s);
        QVERIFY2(entry.contains(u"\nExec=\"/opt/Мой \\\\$dir/a\\\\\"b\\\\`c\\\\\\\\d 100%%\"\n"_s.toUtf8()),
            entry.constData());
    }

    void windowIsLookedForUntilTheLastRetry_data()
    {
        QTest::addColumn<int>("windowlessCalls"); // calls before any window exists
        QTest::addColumn<bool>("broughtForward");
        // The first look and 20 retries.
        QTest::addRow("window appears on the last retry") << 20 << true;
        QTest::addRow("no window within the retries") << 21 << false;
    }

    void windowIsLookedForUntilTheLastRetry()
    {
        QFETCH(int, windowlessCalls);
        QFETCH(bool, broughtForward);
        int calls = 0;
        int unfocusableForwarded = 0;
        int forwarded = 0;
        AppDelegate delegate({
            .nothingToDo = [] { return false; },
            .windows =
                [&] {
                    std::vector<std::unique_ptr<PresentableWindow>> windows;
                    // A window that cannot become key (a tooltip, say) comes first and is passed over.
                    windows.push_back(std::make_unique<FakeWindow>(false, &unfocusableForwarded));
                    if (calls++ >= windowlessCalls)
                        windows.push_back(std::make_unique<FakeWindow>(true, &forwarded));
                    return windows;
                },
            .launchAtLogin = { .isEnabled = [] { return true; }, .registerApplication = {} },
            .log = {},
        });
        QSignalSpy finished(&delegate, &AppDelegate::presentationFinished);
        delegate.presentActivationWindow(AppDelegate::presentAttempts);
        QVERIFY(!finished.isEmpty() || finished.wait(10'000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), broughtForward);
        QCOMPARE(calls, 21);
        QCOMPARE(forwarded, broughtForward ? 1 : 0);
        QCOMPARE(unfocusableForwarded, 0);
    }

    // A click on the Dock icon reaches Qt as the application becoming active: with no window
    // shown, the window comes back; a shown one is left to the system. Only macOS listens: a
    // Linux tray menu makes the application active too.
    void activationWithoutAWindowReopensItOnTheMac_data()
    {
        QTest::addColumn<bool>("windowShown");
        QTest::addColumn<Qt::ApplicationState>("state");
        QTest::addColumn<int>("reopened");
#ifdef Q_OS_MACOS
        const int onThisPlatform = 1;
#else
        const int onThisPlatform = 0;
#endif
        QTest::addRow("active, no window") << false << Qt::ApplicationActive << onThisPlatform;
        QTest::addRow("active, window shown") << true << Qt::ApplicationActive << 0;
        QTest::addRow("inactive, no window") << false << Qt::ApplicationInactive << 0;
    }

    void activationWithoutAWindowReopensItOnTheMac()
    {
        QFETCH(bool, windowShown);
        QFETCH(Qt::ApplicationState, state);
        QFETCH(int, reopened);
        int reopenCalls = 0;
        int forwarded = 0;
        AppDelegate delegate({
            .nothingToDo = [] { return true; },
            .windows =
                [&] {
                    std::vector<std::unique_ptr<PresentableWindow>> windows;
                    windows.push_back(std::make_unique<FakeWindow>(windowShown, &forwarded));
                    return windows;
                },
            .launchAtLogin = {},
            .log = {},
            .reopenWindow = [&] { ++reopenCalls; },
        });
        Q_EMIT qGuiApp->applicationStateChanged(state);
        QCOMPARE(reopenCalls, reopened);
        // The method itself decides the same everywhere.
        reopenCalls = 0;
        delegate.applicationStateChanged(state);
        QCOMPARE(reopenCalls, state == Qt::ApplicationActive && !windowShown ? 1 : 0);
        QCOMPARE(forwarded, 0);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "tst_AppDelegate.moc"
