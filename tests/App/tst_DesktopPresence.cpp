#include "App/AppModel.h"
#include "App/ProtectionNotices.h"
#include "App/VetronMacApp.h"
#include "Platform/DesktopNotifier.h"
#include "Platform/Preferences.h"
#include "PrivateDesktop.h"
#include "TestSupport/TunnelFixture.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QQuickWindow>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace Vetron;
using namespace std::chrono_literals;

namespace {

constexpr auto lasting = 200ms;

// A python-dbusmock service on the test's session bus, gone with the object.
class Mock
{
public:
    Mock(const QString &name, const QStringList &arguments)
        : m_name(name)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
            QStringLiteral(VETRON_SYSTEM_PYTHON), QStringList { u"-m"_s, u"dbusmock"_s } + arguments);
    }
    ~Mock()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    bool waitForName()
    {
        return QTest::qWaitFor([this] {
            return m_process.state() == QProcess::Running
                && QDBusConnection::sessionBus().interface()->isServiceRegistered(m_name).value();
        });
    }

    // The calls the mock object at `path` received, as "Method arg, arg", for `methods` only.
    QStringList calls(const QString &path, const QStringList &methods) const
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(m_name, path, u"org.freedesktop.DBus.Mock"_s, u"GetCalls"_s));
        QStringList calls;
        const auto log = reply.arguments().value(0).value<QDBusArgument>();
        log.beginArray();
        while (!log.atEnd()) {
            quint64 time = 0;
            QString method;
            QVariantList arguments;
            log.beginStructure();
            log >> time >> method >> arguments;
            log.endStructure();
            if (!methods.contains(method))
                continue;
            QStringList shown; // the texts and numbers
            for (const QVariant &argument : std::as_const(arguments)) {
                if (argument.typeId() == QMetaType::QString || argument.typeId() == QMetaType::UInt
                    || argument.typeId() == QMetaType::Int)
                    shown << argument.toString();
            }
            calls << method + u' ' + shown.join(u", "_s);
        }
        log.endArray();
        return calls;
    }

private:
    QString m_name;
    QProcess m_process;
};

// Notify as the daemon got it, without the client's name and icon: the id it replaces, the
// title, the body and the time-out.
QString notify(uint replaces, QStringView title, QStringView body)
{
    return u"Notify Ветрон, %1, vetron, %2, %3, -1"_s.arg(replaces).arg(title, body);
}

} // namespace

// The client on a Linux desktop of the test's own (a private session bus under a private X
// display): the notifications about protection through a recording notification daemon, and
// the tray icon, which may come only once the desktop's panel is there.
class DesktopPresenceTest : public QObject
{
    Q_OBJECT

    LocalStack::PrivateDesktop m_desktop;
    std::unique_ptr<Mock> m_daemon;
    std::unique_ptr<Test::TunnelFixture> m_fixture;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<DesktopNotifier> m_notifier;
    QStringList m_terminations;

    // Without `window` the client's window is never in front.
    std::unique_ptr<ProtectionNotices> makeNotices(QWindow *window = nullptr)
    {
        m_model = std::make_unique<AppModel>(false);
        m_notifier = std::make_unique<DesktopNotifier>();
        return std::make_unique<ProtectionNotices>(
            *m_model, *m_notifier, window, ProtectionNotices::Timings { lasting, 3 * lasting });
    }

    std::unique_ptr<VetronMacApp> makeApp(std::optional<bool> trayAvailable)
    {
        VetronMacApp::Options options;
        m_fixture->prepare(options.model);
        // Nothing answers here: nothing reaches out.
        options.model.environment.servers
            = { QUrl(u"https://127.0.0.1:1"_s), QUrl(u"https://127.0.0.1:1"_s) };
        options.model.terminate = [this] { m_terminations << u"terminate"_s; };
        options.autoConnect = false;
        options.launchAtLogin = { [] { return true; }, [] {} };
        options.trayAvailable = trayAvailable;
        return std::make_unique<VetronMacApp>(std::move(options));
    }

    QStringList notifications() const
    {
        return m_daemon->calls(u"/org/freedesktop/Notifications"_s, { u"Notify"_s, u"CloseNotification"_s });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.error()));
    }

    void init()
    {
        m_daemon = std::make_unique<Mock>(
            u"org.freedesktop.Notifications"_s, QStringList { u"--template"_s, u"notification_daemon"_s });
        QVERIFY(m_daemon->waitForName());
        m_fixture = std::make_unique<Test::TunnelFixture>();
        m_terminations.clear();
    }

    void cleanup()
    {
        m_notifier.reset();
        m_model.reset();
        m_fixture.reset();
        m_daemon.reset();
        Platform::Preferences().clear();
    }

    // Told once it lasts, replaced by a short word when protection is back, which goes by
    // itself; a blip while that word shows starts no notice of its own.
    void aLastingInterruptionIsToldAndItsEndToo()
    {
        auto notices = makeNotices();
        m_model->setState(ProtectionState::protected_, {});
        m_model->setState(ProtectionState::blocked, {});
        const QString told
            = notify(0, ProtectionNotices::interruptedTitle, ProtectionNotices::interruptedBody);
        QTRY_COMPARE(notifications(), QStringList { told });

        m_model->setState(ProtectionState::protected_, {});
        m_model->setState(ProtectionState::blocked, {});
        m_model->setState(ProtectionState::protected_, {});
        QTRY_COMPARE(notifications(),
            (QStringList { told, notify(1, ProtectionNotices::backTitle, ProtectionNotices::backBody),
                u"CloseNotification 1"_s }));
    }

    // Nothing while the window is in front; an interruption that still lasts when the user
    // leaves it is told then, and coming back to the window takes the notice away.
    void nothingIsToldWhileTheWindowIsActive()
    {
        QWindow client;
        QWindow elsewhere;
        for (QWindow *window : { &client, &elsewhere }) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        client.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&client));
        auto notices = makeNotices(&client);
        m_model->setState(ProtectionState::protected_, {});
        m_model->setState(ProtectionState::blocked, {});
        QTRY_VERIFY(notices->interruptionLasting());

        elsewhere.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        QTRY_COMPARE(notifications().size(), 1);
        client.requestActivate();
        QTRY_COMPARE(notifications(),
            (QStringList { notify(0, ProtectionNotices::interruptedTitle, ProtectionNotices::interruptedBody),
                u"CloseNotification 1"_s }));
    }

    // The reason a switch-on failed, as plain text in a desktop that reads markup; switching
    // off withdraws it.
    void aFailedSwitchOnTellsWhy()
    {
        auto notices = makeNotices();
        m_model->setState(ProtectionState::connecting, {});
        m_model->setState(ProtectionState::blocked, u"Сервер <b>недоступен</b> & молчит"_s);
        const QString told = notify(
            0, ProtectionNotices::switchOnFailedTitle, u"Сервер &lt;b&gt;недоступен&lt;/b&gt; &amp; молчит");
        QTRY_COMPARE(notifications(), QStringList { told });
        m_model->setState(ProtectionState::disabled, {});
        QTRY_COMPARE(notifications(), (QStringList { told, u"CloseNotification 1"_s }));
    }

    // Without a tray, a closed window ends the client only while protection is off; while it
    // is wanted the client stays and says how to get the window back.
    void closingTheWindowWithoutATray_data()
    {
        QTest::addColumn<ProtectionState>("state");
        QTest::addColumn<QStringList>("terminations");
        QTest::addColumn<QStringList>("notifications");
        QTest::addRow("protection off")
            << ProtectionState::disabled << QStringList { u"terminate"_s } << QStringList {};
        QTest::addRow("protection wanted")
            << ProtectionState::blocked << QStringList {}
            << QStringList { notify(0, ProtectionNotices::runningWithoutWindowTitle,
                   ProtectionNotices::runningWithoutWindowBody) };
    }

    void closingTheWindowWithoutATray()
    {
        QFETCH(ProtectionState, state);
        QFETCH(QStringList, terminations);
        QFETCH(QStringList, notifications);
        auto app = makeApp(false);
        QVERIFY(app->start());
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        app->model().setState(state, {});
        app->window()->close();
        QTRY_COMPARE(m_terminations, terminations);
        QTRY_COMPARE(this->notifications(), notifications);
        QVERIFY(!app->window()->isVisible());
    }

    // The first tray icon of this process decides for Qt whether a tray exists: made before the
    // panel's host is there, it would never register. The icon comes once the panel's watcher
    // has a host, whether the host was first or the watcher.
    void theTrayComesWithTheDesktopsPanel_data()
    {
        QTest::addColumn<bool>("hostFirst");
        QTest::addRow("host registered after its watcher appeared") << false;
        QTest::addRow("watcher appears with its host") << true;
    }

    void theTrayComesWithTheDesktopsPanel()
    {
        QFETCH(bool, hostFirst);
        auto app = makeApp(std::nullopt);
        QVERIFY(app->start());
        QVERIFY(!app->trayMenu());

        const QString watcherPath = u"/StatusNotifierWatcher"_s;
        Mock watcher(u"org.kde.StatusNotifierWatcher"_s,
            { u"--template"_s, QStringLiteral(VETRON_WATCHER_TEMPLATE), u"-p"_s,
                hostFirst ? u"{\"host\": true}"_s : u"{\"host\": false}"_s });
        QVERIFY(watcher.waitForName());
        if (!hostFirst) {
            QVERIFY(!app->trayMenu());
            QDBusMessage host = QDBusMessage::createMethodCall(u"org.kde.StatusNotifierWatcher"_s,
                watcherPath, u"org.kde.StatusNotifierWatcher"_s, u"RegisterStatusNotifierHost"_s);
            host.setArguments({ u"org.kde.StatusNotifierHost-test"_s });
            QCOMPARE(QDBusConnection::sessionBus().call(host).type(), QDBusMessage::ReplyMessage);
        }
        QTRY_VERIFY(app->trayMenu());
        QTRY_COMPARE(watcher.calls(watcherPath, { u"RegisterStatusNotifierItem"_s }).size(), 1);
    }
};

QTEST_MAIN(DesktopPresenceTest)
#include "tst_DesktopPresence.moc"
