#include "Foundation/ClientPaths.h"
#include "PrivateDesktop.h"
#include "Protection/DesktopProxyService.h"
#include "Protection/TunnelService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;

namespace {

constexpr quint16 port = 43128;

// What the user had: key → value as `gsettings set` takes it; keys not named were never set.
using Settings = QList<std::pair<QString, QString>>;

} // namespace

// The desktop's real proxy settings in a session of the test's own: GIO, dconf and its service,
// read back and changed by gsettings and dconf as any other program would.
class DesktopProxyServiceTest : public QObject
{
    Q_OBJECT

    LocalStack::PrivateDesktop m_desktop;
    QStringList m_log;

    std::unique_ptr<DesktopProxyService> makeService()
    {
        return std::make_unique<DesktopProxyService>(nullptr, [this](const QString &line) { m_log << line; });
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
