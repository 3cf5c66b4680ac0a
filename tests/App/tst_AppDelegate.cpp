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
    // The Linux autostart entry: absent → written as a desktop entry that starts this very
    // executable; present → left as it is; an unwritable place is logged, not thrown.
    void autostartEntryStartsTheApplicationAtLogin()
    {
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
};

QTEST_MAIN(AppDelegateTest)
#include "tst_AppDelegate.moc"
