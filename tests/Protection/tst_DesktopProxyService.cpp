#include "Foundation/ClientPaths.h"
#include "PrivateDesktop.h"
#include "Protection/DesktopProxyService.h"
#include "Protection/TunnelService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"

#include <QDBusConnection>
#include <QFile>
#include <QTest>
#include <QtDBus/QDBusMessage>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;

namespace {

constexpr quint16 port = 43128;

// What the user had: key → value as `gsettings set` takes it; keys not named were never set.
using Settings = QList<std::pair<QString, QString>>;

// Counts the reload signals Plasma's programs would hear.
class ReloadCounter : public QObject
{
    Q_OBJECT

public:
    explicit ReloadCounter(int *count)
        : m_count(count)
    {
    }

public Q_SLOTS:
    void seen() { ++*m_count; }

private:
    int *m_count;
};

} // namespace

// The desktop's real proxy settings in a session of the test's own: GIO, dconf and its service,
// read back and changed by gsettings and dconf as any other program would.
class DesktopProxyServiceTest : public QObject
{
    Q_OBJECT

    LocalStack::PrivateDesktop m_desktop;
    QStringList m_log;

    std::unique_ptr<DesktopProxyService> makeService(bool plasma = false)
    {
        return std::make_unique<DesktopProxyService>(
            ToolPaths(), plasma, nullptr, [this](const QString &line) { m_log << line; });
    }

    // Plasma's value of `key`, "absent" when the file lacks it.
    QString kde(const QString &key)
    {
        return m_desktop.run(u"kreadconfig5"_s,
            { u"--file"_s, u"kioslaverc"_s, u"--group"_s, u"Proxy Settings"_s, u"--key"_s, key,
                u"--default"_s, u"absent"_s });
    }
    bool setKde(const QString &key, const QString &value)
    {
        m_desktop.run(u"kwriteconfig5"_s,
            { u"--file"_s, u"kioslaverc"_s, u"--group"_s, u"Proxy Settings"_s, u"--key"_s, key, value });
        return m_desktop.error().isEmpty();
    }

    // "schema key" as gsettings names it, from our "http/host".
    static QStringList schemaKey(const QString &key)
    {
        const qsizetype slash = key.indexOf(u'/');
        if (slash < 0)
            return { u"org.gnome.system.proxy"_s, key };
        return { u"org.gnome.system.proxy."_s + key.left(slash), key.mid(slash + 1) };
    }

    QString get(const QString &key)
    {
        return m_desktop.run(u"gsettings"_s, QStringList { u"get"_s } + schemaKey(key));
    }
    // The user's own value as dconf stores it; empty when the key is not set.
    QString stored(const QString &key)
    {
        return m_desktop.run(u"dconf"_s, { u"read"_s, u"/system/proxy/"_s + key });
    }
    bool set(const QString &key, const QString &value)
    {
        m_desktop.run(u"gsettings"_s, QStringList { u"set"_s } + schemaKey(key) << value);
        return m_desktop.error().isEmpty();
    }

    bool pointsAtTunnel()
    {
        return get(u"mode"_s) == u"'manual'"_s && get(u"http/host"_s) == u"'127.0.0.1'"_s
            && get(u"http/port"_s) == QString::number(port) && get(u"https/host"_s) == u"'127.0.0.1'"_s
            && get(u"https/port"_s) == QString::number(port);
    }

    // Exactly the user's settings: their values, and nothing stored for the keys they never set.
    void verifyUsersSettings(const Settings &users)
    {
        for (const QString &key :
            { u"mode"_s, u"http/host"_s, u"http/port"_s, u"https/host"_s, u"https/port"_s }) {
            const auto own = std::find_if(
                users.begin(), users.end(), [&](const auto &entry) { return entry.first == key; });
            QCOMPARE(stored(key), own == users.end() ? QString() : own->second);
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_desktop.start(), qPrintable(m_desktop.error())); }

    void init()
    {
        m_log.clear();
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/kioslaverc"_s);
        m_desktop.run(u"dconf"_s, { u"reset"_s, u"-f"_s, u"/system/proxy/"_s });
        QFile::remove(ClientPaths::desktopProxyBackup());
        QFile::remove(ClientPaths::desktopProxyOwned());
    }

    void switchOnPointsAtTheTunnelAndSwitchOffPutsBackExactly_data()
    {
        QTest::addColumn<Settings>("users");
        QTest::addRow("nothing ever set") << Settings {};
        QTest::addRow("the user's own web proxy") << Settings { { u"mode"_s, u"'manual'"_s },
            { u"http/host"_s, u"'corp.example'"_s }, { u"http/port"_s, u"8080"_s } };
        QTest::addRow("automatic, a default written out")
            << Settings { { u"mode"_s, u"'auto'"_s }, { u"https/port"_s, u"0"_s } };
    }

    void switchOnPointsAtTheTunnelAndSwitchOffPutsBackExactly()
    {
        QFETCH(Settings, users);
        for (const auto &[key, value] : users)
            QVERIFY2(set(key, value), qPrintable(m_desktop.error()));

        auto service = makeService();
        const auto on = awaitTask(service->enable(port));
        QVERIFY2(on.finished && !on.error, qPrintable(on.errorDescription()));
        QVERIFY(pointsAtTunnel());
        QVERIFY(awaitTask(service->enable(port)).finished); // a second switch-on keeps the backup

        const auto off = awaitTask(service->restore());
        QVERIFY2(off.finished && !off.error, qPrintable(off.errorDescription()));
        verifyUsersSettings(users);
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyBackup()));
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyOwned()));
        QVERIFY(m_log.isEmpty());
    }

    // A client killed while protected leaves its files; the next one, switched on again and
    // then off, gives back the user's settings, not its own.
    void aRestartAfterACrashStillRestoresTheUsersSettings()
    {
        const Settings users { { u"mode"_s, u"'manual'"_s }, { u"https/host"_s, u"'corp.example'"_s } };
        for (const auto &[key, value] : users)
            QVERIFY(set(key, value));
        QVERIFY(!awaitTask(makeService()->enable(port)).error);

        auto next = makeService();
        QVERIFY(!awaitTask(next->enable(port)).error);
        QVERIFY(pointsAtTunnel());
        QVERIFY(!awaitTask(next->restore()).error);
        verifyUsersSettings(users);
    }

    void anotherProgramsChangeIsUndoneWhileOurs()
    {
        auto service = makeService();
        QVERIFY(!awaitTask(service->enable(port)).error);
        QVERIFY(set(u"https/host"_s, u"'elsewhere.example'"_s));
        QTRY_VERIFY_WITH_TIMEOUT(pointsAtTunnel(), 20000);
        QCOMPARE(m_log.size(), 1);
    }

    // The user's values are lost with the file; what points at the tunnel is switched off.
    void withoutTheBackupOurProxiesAreSwitchedOff()
    {
        QVERIFY(set(u"mode"_s, u"'manual'"_s) && set(u"http/host"_s, u"'corp.example'"_s));
        auto service = makeService();
        QVERIFY(!awaitTask(service->enable(port)).error);
        QVERIFY(QFile::remove(ClientPaths::desktopProxyBackup()));

        const auto off = awaitTask(service->restore());
        QVERIFY2(off.finished && !off.error, qPrintable(off.errorDescription()));
        verifyUsersSettings({});
        QCOMPARE(m_log.size(), 1);
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyOwned()));
    }

    // On Plasma KDE's own keys are switched as well, with the reload signal, and come back as
    // they were: a value, or absent.
    void plasmaGetsItsOwnSettingsBack()
    {
        QVERIFY(setKde(u"ProxyType"_s, u"1"_s) && setKde(u"httpProxy"_s, u"http://corp.example 8080"_s));
        QDBusConnection bus = QDBusConnection::sessionBus();
        int reloads = 0;
        ReloadCounter counter(&reloads);
        QVERIFY(bus.connect(QString(), u"/KIO/Scheduler"_s, u"org.kde.KIO.Scheduler"_s,
            u"reparseSlaveConfiguration"_s, &counter, SLOT(seen())));

        auto service = makeService(true);
        const auto on = awaitTask(service->enable(port));
        QVERIFY2(on.finished && !on.error, qPrintable(on.errorDescription()));
        QCOMPARE(kde(u"httpsProxy"_s), u"http://127.0.0.1 %1"_s.arg(port));
        QVERIFY(pointsAtTunnel());
        QTRY_COMPARE(reloads, 1);

        QVERIFY(!awaitTask(service->restore()).error);
        QCOMPARE(kde(u"ProxyType"_s), u"1"_s);
        QCOMPARE(kde(u"httpProxy"_s), u"http://corp.example 8080"_s);
        QCOMPARE(kde(u"httpsProxy"_s), u"absent"_s);
        verifyUsersSettings({});
        QTRY_COMPARE(reloads, 2);
    }

    // A group an administrator locks while protection is on cannot hold the switch-off: it is
    // named in the log, and the files stay for the next one.
    void aPlasmaGroupLockedMeanwhileDoesNotHoldTheSwitchOff()
    {
        auto service = makeService(true);
        QVERIFY(!awaitTask(service->enable(port)).error);
        QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/kioslaverc"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray ours = file.readAll();
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly)
            && file.write(ours.replace("[Proxy Settings]", "[Proxy Settings][$i]")) > 0);
        file.close();

        const auto off = awaitTask(service->restore());
        QVERIFY2(off.finished && !off.error, qPrintable(off.errorDescription()));
        verifyUsersSettings({});
        QCOMPARE(m_log.size(), 1);
        QVERIFY(m_log.first().contains(u"KDE"_s));
        QVERIFY(QFile::exists(ClientPaths::desktopProxyBackup()));
    }

    void aLockedPlasmaGroupFailsTheSwitchOnWithNothingChanged()
    {
        QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/kioslaverc"_s);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[Proxy Settings][$i]\nProxyType=0\n") > 0);
        file.close();
        QVERIFY(set(u"mode"_s, u"'auto'"_s));

        const auto on = awaitTask(makeService(true)->enable(port));
        QVERIFY(on.finished && on.error);
        verifyUsersSettings({ { u"mode"_s, u"'auto'"_s } });
        QCOMPARE(kde(u"ProxyType"_s), u"0"_s);
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyBackup()));
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyOwned()));
    }

    // The whole switch through the real ssh and protection server: protected only once the
    // desktop points at the tunnel, and everything the user had is back after the switch-off.
    void theTunnelSwitchesTheDesktop()
    {
        QVERIFY(set(u"mode"_s, u"'auto'"_s));
        Test::TunnelFixture fixture;
        QVERIFY2(fixture.start(), qPrintable(fixture.error()));
        TunnelService::Options options = fixture.serviceOptions();
        options.system = SystemBackend::desktop;
        QList<ProtectionState> states;
        TunnelService service([&](ProtectionState state, const QString &) { states << state; }, options);

        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(states, (QList { ProtectionState::connecting, ProtectionState::protected_ }));
        QCOMPARE(get(u"https/port"_s), QString::number(fixture.localPort()));
        QCOMPARE(get(u"mode"_s), u"'manual'"_s);

        const auto off = awaitTask(service.disable());
        QVERIFY(off.value && *off.value);
        verifyUsersSettings({ { u"mode"_s, u"'auto'"_s } });
    }

    // Run on its own (see CMakeLists.txt), in a process whose GSettings is GLib's memory store:
    // what is written there no program reads, so the switch-on is refused with what to set by hand.
    void aSettingsStoreNoProgramReadsIsRefused()
    {
        if (!qEnvironmentVariableIsSet("VETRON_TEST_MEMORY_SETTINGS"))
            QSKIP("runs in a process of its own");
        qputenv("GSETTINGS_BACKEND", "memory");
        const auto on = awaitTask(makeService()->enable(port));
        QVERIFY(on.finished && on.error);
        QVERIFY2(on.errorDescription().contains(u"нельзя изменить автоматически"_s)
                && on.errorDescription().contains(u"127.0.0.1, порт %1"_s.arg(port)),
            qPrintable(on.errorDescription()));
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyOwned()));
    }

    // Last: the administrator's lock stays for the rest of the process.
    void aLockedKeyFailsTheSwitchOnWithNothingChanged()
    {
        QVERIFY(set(u"http/host"_s, u"'corp.example'"_s));
        QVERIFY2(m_desktop.lock({ u"/system/proxy/https/port"_s }), qPrintable(m_desktop.error()));
        QTRY_COMPARE(
            m_desktop.run(u"gsettings"_s, { u"writable"_s, u"org.gnome.system.proxy.https"_s, u"port"_s }),
            u"false"_s);

        auto service = makeService();
        const auto on = awaitTask(service->enable(port));
        QVERIFY(on.finished && on.error);
        QVERIFY2(on.errorDescription().contains(u"заблокированы администратором (https/port)"_s),
            qPrintable(on.errorDescription()));
        verifyUsersSettings({ { u"http/host"_s, u"'corp.example'"_s } });
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyBackup()));
        QVERIFY(!QFile::exists(ClientPaths::desktopProxyOwned()));
    }
};

QTEST_GUILESS_MAIN(DesktopProxyServiceTest)
#include "tst_DesktopProxyService.moc"
