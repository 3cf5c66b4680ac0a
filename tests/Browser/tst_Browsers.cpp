#include "BuildConstants.h"
#include "Foundation/ClientPaths.h"
#include "HttpRequestParser.h"
#include "HttpStandInServer.h"
#include "PageServer.h"
#include "PrivateDesktop.h"
#include "Stack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

// Serves the browsers a page of its own from 127.0.0.1, which the proxies never take, whose
// script asks here for the next probe, loads the test page for it with fetch() and reports what
// came back: the browsers are started once and never touched while protection changes.
class BrowserDriver : public Tools::HttpStandInServer
{
public:
    explicit BrowserDriver(QUrl page)
        : HttpStandInServer(new QTcpServer, OverrideKey::path, nullptr)
        , m_page(std::move(page))
    {
    }

    bool listen() { return listenOnLoopback(0); }
    QString driverUrl(const QString &browser) const
    {
        return u"http://127.0.0.1:%1/?b=%2"_s.arg(QString::number(port()), browser);
    }

    void probe(const QString &name)
    {
        m_probe = name;
        m_results.clear();
    }
    QHash<QString, QString> results() const { return m_results; }
    QSet<QString> polling() const { return m_polling; }
    void forgetPolling() { m_polling.clear(); }

protected:
    Tools::HttpResponse answer(const Tools::HttpRequest &request) override
    {
        const QUrlQuery query(request.url);
        const QString browser = query.queryItemValue(u"b"_s);
        if (request.url.path() == u"/next"_s) {
            m_polling.insert(browser);
            return Tools::HttpResponse::text(200, m_probe.toUtf8());
        }
        if (request.url.path() == u"/result"_s) {
            if (query.queryItemValue(u"probe"_s) == m_probe)
                m_results.insert(browser, QString::fromUtf8(request.body));
            return { 204, {}, {} };
        }
        Tools::HttpResponse page;
        page.contentType = "text/html; charset=utf-8";
        page.body = R"(<!doctype html><meta charset="utf-8"><title>driver</title><script>
const browser = new URLSearchParams(location.search).get('b');
let done = '';
async function step() {
  try {
    const probe = (await (await fetch('/next?b=' + browser, {cache: 'no-store'})).text()).trim();
    if (probe && probe !== done) {
      let outcome;
      try {
        const answer = await fetch(')"
            + m_page.toEncoded() + R"(?probe=' + probe + '&b=' + browser, {cache: 'no-store'});
        outcome = 'loaded ' + answer.status + ' ' + (await answer.text());
      } catch (error) {
        outcome = 'failed ' + error;
      }
      await fetch('/result?b=' + browser + '&probe=' + probe, {method: 'POST', body: outcome});
      done = probe;
    }
  } catch (error) {}
  setTimeout(step, 200);
}
step();
</script>)";
        return page;
    }

private:
    QUrl m_page;
    QString m_probe;
    QHash<QString, QString> m_results;
    QSet<QString> m_polling;
};

struct Outcome
{
    int status = -1;
    QString output;
};

} // namespace

// The acceptance of the whole system on a Linux desktop: the client with its real desktop backend
// and the local stack, and Chromium and Firefox ESR headless in the same private session (bus,
// settings, home). What each browser sees is told by its own page script; what reached the sites
// is told by the protection server's page server and the "direct" one for the same host name.
class BrowsersTest : public QObject
{
    Q_OBJECT

    LocalStack::PrivateDesktop m_desktop;
    QTemporaryDir m_run;
    std::unique_ptr<LocalStack::Stack> m_stack;
    std::unique_ptr<BrowserDriver> m_driver;
    std::vector<std::unique_ptr<QProcess>> m_browsers;
    QProcess m_client;

    static QStringList browserNames() { return { u"chromium"_s, u"firefox"_s }; }

    static QString firefoxProfile() { return QDir::homePath() + u"/.mozilla/firefox/vetron-test"_s; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Chromium reads GSettings' proxy keys on the desktops it knows by this name.
        environment.insert(u"XDG_CURRENT_DESKTOP"_s, u"GNOME"_s);
        for (const QString &name : { u"http_proxy"_s, u"https_proxy"_s, u"all_proxy"_s, u"no_proxy"_s }) {
            environment.remove(name);
            environment.remove(name.toUpper());
        }
        return environment;
    }

    // The client's and its command line's: the data folder this process sees as the client's.
    QProcessEnvironment clientEnvironment() const
    {
        QProcessEnvironment environment = this->environment();
        environment.insert(u"XDG_DATA_HOME"_s, QFileInfo(ClientPaths::root()).path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        return environment;
    }

    // `vetron <verb>` as a script would run it.
    Outcome command(const QString &verb)
    {
        QProcess line;
        line.setProcessEnvironment(clientEnvironment());
        line.setProcessChannelMode(QProcess::MergedChannels);
        line.start(QStringLiteral(VETRON_EXECUTABLE), { verb });
        // The stack in this process answers the client meanwhile.
        (void)QTest::qWaitFor([&line] { return line.state() == QProcess::NotRunning; }, 120'000);
        return { line.exitStatus() == QProcess::NormalExit ? line.exitCode() : -1,
            QString::fromUtf8(line.readAll()) };
    }

    // Polls `vetron status` until it ends with `status`.
    bool reaches(int status, int seconds)
    {
        for (int tries = 0; tries < seconds * 2; ++tries) {
            if (command(u"status"_s).status == status)
                return true;
            QTest::qWait(500);
        }
        return false;
    }

    // True once every browser's page script asks for probes.
    bool startBrowsers()
    {
        m_driver->probe({});
        m_driver->forgetPolling();
        for (const QString &name : browserNames()) {
            auto browser = std::make_unique<QProcess>();
            browser->setProcessEnvironment(environment());
            browser->setProcessChannelMode(QProcess::MergedChannels);
            // A group of its own: the browser's helpers end with it.
            browser->setChildProcessModifier([] { ::setsid(); });
            const QString url = m_driver->driverUrl(name);
            if (name == u"chromium"_s) {
                const QString data = m_run.filePath(u"chromium-"_s + QString::number(m_browsers.size()));
                browser->start(u"/usr/bin/chromium"_s,
                    { u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--no-first-run"_s,
                        u"--no-default-browser-check"_s, u"--user-data-dir="_s + data,
                        u"--host-resolver-rules=MAP %1 127.0.0.1"_s.arg(
                            QString::fromLatin1(LocalStack::Stack::pageHost)),
                        url });
            } else {
                browser->start(u"/usr/bin/firefox-esr"_s,
                    { u"--headless"_s, u"--no-remote"_s, u"--profile"_s, firefoxProfile(), url });
            }
            m_browsers.push_back(std::move(browser));
        }
        return QTest::qWaitFor([this] { return m_driver->polling().size() == browserNames().size(); }, 60000);
    }

    void stopBrowsers()
    {
        for (const auto &browser : m_browsers) {
            if (browser->state() != QProcess::NotRunning)
                ::kill(-pid_t(browser->processId()), SIGKILL);
            browser->waitForFinished();
        }
        m_browsers.clear();
    }

    // Asks every browser to load the test page once; what each saw, by browser.
    QHash<QString, QString> probe(const QString &name)
    {
        m_driver->probe(name);
        // A browser that never answers shows as missing from the results.
        (void)QTest::qWaitFor([this] { return m_driver->results().size() == browserNames().size(); }, 60000);
        return m_driver->results();
    }

    // How many requests of probe `name` (any of its tries) reached `site`.
    static qsizetype requestsOf(const Tools::PageServer &site, const QString &name)
    {
        const QList<Tools::HttpStandInServer::Request> requests = site.requests();
        return std::count_if(requests.begin(), requests.end(), [&name](const auto &request) {
            return request.query.queryItemValue(u"probe"_s).startsWith(name + u'-');
        });
    }

    // A Firefox profile listed where the client looks, with its certificate database already made
    // (Firefox makes it on its first run) and the test host resolved to 127.0.0.1.
    static bool makeFirefoxProfile()
    {
        if (!QDir().mkpath(firefoxProfile()))
            return false;
        QFile profiles(QDir::homePath() + u"/.mozilla/firefox/profiles.ini"_s);
        QFile prefs(firefoxProfile() + u"/user.js"_s);
        if (!profiles.open(QIODevice::WriteOnly) || !prefs.open(QIODevice::WriteOnly))
            return false;
        profiles.write("[Profile0]\nName=vetron-test\nIsRelative=1\nPath=vetron-test\nDefault=1\n\n"
                       "[General]\nStartWithLastProfile=1\nVersion=2\n");
        prefs.write("user_pref(\"network.dns.localDomains\", \"" + QByteArray(LocalStack::Stack::pageHost)
            + "\");\n"
              "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
              "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
              "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
              "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
              "user_pref(\"network.captive-portal-service.enabled\", false);\n"
              "user_pref(\"network.connectivity-service.enabled\", false);\n"
              "user_pref(\"app.update.auto\", false);\n");
        return QProcess::execute(u"/usr/bin/certutil"_s,
                   { u"-N"_s, u"-d"_s, u"sql:"_s + firefoxProfile(), u"--empty-password"_s })
            == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString &program : { u"/usr/bin/chromium"_s, u"/usr/bin/firefox-esr"_s }) {
            if (!QFile::exists(program))
                QFAIL(qPrintable(program + u" is missing: scripts/setup installs it"_s));
        }
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.error()));
        QVERIFY(makeFirefoxProfile());
        m_stack = std::make_unique<LocalStack::Stack>(LocalStack::Stack::Options { m_run.filePath(u"stack"_s),
            {}, {}, QString::fromLatin1(BuildConstants::version), QStringLiteral(VETRON_STANDIN_DIR), true });
        QVERIFY2(m_stack->start(), qPrintable(m_stack->error()));
        m_driver = std::make_unique<BrowserDriver>(m_stack->pageUrl());
        QVERIFY(m_driver->listen());
    }

    void cleanupTestCase()
    {
        stopBrowsers();
        if (m_client.state() != QProcess::NotRunning) {
            m_client.kill();
            m_client.waitForFinished();
        }
        QFile pid(ClientPaths::sshPid());
        if (pid.open(QIODevice::ReadOnly)) {
            if (const pid_t ssh = pid_t(pid.readAll().trimmed().toInt()); ssh > 0)
                ::kill(ssh, SIGTERM);
        }
    }

    // Before enrollment nothing trusts the run's authority: the page's certificate is refused,
    // though the browsers reach the site.
    void certificateIsRefusedBeforeEnrollment()
    {
        QVERIFY(startBrowsers());
        const QHash<QString, QString> seen = probe(u"before-0"_s);
        stopBrowsers();
        for (const QString &name : browserNames())
            QVERIFY2(seen.value(name).startsWith(u"failed"_s), qPrintable(name + u": "_s + seen.value(name)));
        QVERIFY(m_stack->directPages().handshakes() >= browserNames().size());
        QCOMPARE(m_stack->directPages().requests().size(), 0);
    }

    // Protected, the page comes through the protection server with its certificate accepted;
    // blocked, it does not load; recovered, it comes through the server again; switched off, it
    // comes directly. Until the switch-off nothing reaches the direct site.
    void pagesGoThroughProtectionOnlyAndNeverDirectlyUntilTheSwitchOff()
    {
        m_client.setProcessEnvironment(clientEnvironment());
        m_client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_client.start(QStringLiteral(VETRON_EXECUTABLE),
            { u"--local-stack"_s, m_run.filePath(u"stack"_s), u"--activate"_s, m_stack->oneTimeKey(),
                u"--hidden"_s });
        QVERIFY2(reaches(0, 60), qPrintable(command(u"status"_s).output));
        QVERIFY(startBrowsers());
        const int directHandshakes = m_stack->directPages().handshakes();
        const QString throughProtection = Tools::PageServer::servedBy(m_stack->protectedPages().name());
        // Empty once every browser loaded the page from `servedBy` for probe `name`; a browser that
        // learns of a proxy change by itself is given `tries` probes, half a second apart.
        const auto allLoadedWith = [this](const QString &name, const QString &servedBy, int tries = 1) {
            QString missing;
            for (int attempt = 0; attempt < tries; ++attempt) {
                if (attempt > 0)
                    QTest::qWait(500);
                const QHash<QString, QString> seen = probe(name + u'-' + QString::number(attempt));
                missing.clear();
                for (const QString &browser : browserNames()) {
                    if (!seen.value(browser).startsWith(u"loaded 200"_s)
                        || !seen.value(browser).contains(servedBy))
                        missing += name + u", "_s + browser + u": "_s + seen.value(browser) + u'\n';
                }
                if (missing.isEmpty())
                    break;
            }
            return missing;
        };

        QCOMPARE(allLoadedWith(u"protected"_s, throughProtection), QString());

        // ssh killed and sshd down: the proxies stay on the tunnel's port.
        QFile pid(ClientPaths::sshPid());
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const pid_t ssh = pid_t(pid.readAll().trimmed().toInt());
        QVERIFY(ssh > 0);
        // sshd goes before the client's first reconnect, two seconds after.
        QCOMPARE(::kill(ssh, SIGKILL), 0);
        m_stack->sshServer().stop();
        QVERIFY2(reaches(3, 60), qPrintable(command(u"status"_s).output));
        const QHash<QString, QString> blocked = probe(u"blocked-0"_s);
        for (const QString &name : browserNames())
            QVERIFY2(blocked.value(name).startsWith(u"failed"_s),
                qPrintable(name + u": "_s + blocked.value(name)));
        QCOMPARE(requestsOf(m_stack->protectedPages(), u"blocked"_s), 0);

        QVERIFY(m_stack->sshServer().restart());
        QVERIFY2(reaches(0, 90), qPrintable(command(u"status"_s).output));
        QCOMPARE(allLoadedWith(u"recovered"_s, throughProtection), QString());
        QCOMPARE(m_stack->directPages().handshakes(), directHandshakes);
        QCOMPARE(m_stack->directPages().requests().size(), 0);

        QCOMPARE(command(u"off"_s).status, 0);
        QCOMPARE(allLoadedWith(u"off"_s, Tools::PageServer::servedBy(m_stack->directPages().name()), 20),
            QString());
        QCOMPARE(requestsOf(m_stack->protectedPages(), u"off"_s), 0);
    }
};

QTEST_MAIN(BrowsersTest)
#include "tst_Browsers.moc"
