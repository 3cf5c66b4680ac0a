#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray twoServices = R"({"services":[
 {"name":"Wi-Fi","enabled":true,
  "web":{"enabled":true,"server":"proxy.example","port":8080},
  "secure":{"enabled":false,"server":"","port":0},
  "bypass":["*.local","169.254/16"]},
 {"name":"Thunderbolt Bridge","enabled":false,
  "web":{"enabled":false,"server":"","port":0},
  "secure":{"enabled":false,"server":"","port":0},
  "bypass":[]}
]})";

struct ToolRun
{
    int exitCode = -1;
    QString standardOutput;
    QString standardError;
};

ToolRun runTool(
    const QString &tool, const QStringList &arguments, const QString &workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory);
    process.start(QString::fromUtf8(VETRON_STANDIN_DIR) + u'/' + tool, arguments);
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit)
        return { -1, QString(), process.errorString() };
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}

ToolRun runAsAdministrator(const QString &appleScriptLiteralBody, const QString &workingDirectory = QString())
{
    const QString statement
        = u"do shell script \""_s + appleScriptLiteralBody + u"\" with administrator privileges"_s;
    return runTool(u"osascript"_s, { u"-e"_s, statement }, workingDirectory);
}

// Single quotes for /bin/sh: nothing inside is special except the quote itself.
QString shellQuoted(QString text)
{
    return u'\'' + text.replace(u'\'', u"'\\''"_s) + u'\'';
}

QString appleScriptEscaped(QString text)
{
    return text.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
}

QString standInPath(const QString &tool)
{
    return QString::fromUtf8(VETRON_STANDIN_DIR) + u'/' + tool;
}

} // namespace

class MacStandInsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        m_work = std::make_unique<QTemporaryDir>();
        QVERIFY(m_state->isValid());
        QVERIFY(m_work->isValid());
        qputenv("VETRON_STANDIN_STATE", QFile::encodeName(m_state->path()));
        writeStateFile(u"networksetup.json"_s, twoServices);
    }

    void cleanup()
    {
        qunsetenv("VETRON_STANDIN_STATE");
        m_state.reset();
        m_work.reset();
    }

    void serviceNameSurvivesShellAndAppleScriptQuoting()
    {
        const QString name = u"Bob's \"Phone\" \\ $(touch x) `a`; ok"_s;
        QJsonObject state = QJsonDocument::fromJson(twoServices).object();
        QJsonArray services = state.value(u"services"_s).toArray();
        services.append(QJsonObject { { u"name"_s, name }, { u"enabled"_s, true } });
        state.insert(u"services"_s, services);
        writeStateFile(u"networksetup.json"_s, QJsonDocument(state).toJson());

        const QString networksetup = shellQuoted(standInPath(u"networksetup"_s));
        const QString script = networksetup + u" -setwebproxy "_s + shellQuoted(name)
            + u" proxy.example 8080 && "_s + networksetup + u" -getwebproxy "_s + shellQuoted(name);
        const ToolRun run = runAsAdministrator(appleScriptEscaped(script), m_work->path());

        QCOMPARE(run.standardError, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput,
            u"Enabled: Yes\nServer: proxy.example\nPort: 8080\nAuthenticated Proxy Enabled: 0\n"_s);
        const QJsonArray after = readState().value(u"services"_s).toArray();
        QCOMPARE(after.size(), 3);
        QCOMPARE(after.at(0), services.at(0));
        QCOMPARE(after.at(2).toObject().value(u"name"_s).toString(), name);
        const QJsonObject web { { u"enabled"_s, true }, { u"server"_s, u"proxy.example"_s },
            { u"port"_s, 8080 } };
        QCOMPARE(after.at(2).toObject().value(u"web"_s).toObject(), web);
        QVERIFY2(QDir(m_work->path()).isEmpty(), "the service name was run as shell code");
        QCOMPARE(logLines(u"osascript.log"_s), QJsonArray { script });
        QCOMPARE(logLines(u"networksetup.log"_s).first(),
            QJsonArray::fromStringList({ u"-setwebproxy"_s, name, u"proxy.example"_s, u"8080"_s }));
    }

    void readCommandsPrintTheToolsFormats_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        const QString wifi = u"Wi-Fi"_s;
        const QString bridge = u"Thunderbolt Bridge"_s;
        QTest::addRow("list marks disabled services")
            << QStringList { u"-listallnetworkservices"_s }
            << u"An asterisk (*) denotes that a network service is disabled.\nWi-Fi\n*Thunderbolt Bridge\n"_s;
        QTest::addRow("web proxy on")
            << QStringList { u"-getwebproxy"_s, wifi }
            << u"Enabled: Yes\nServer: proxy.example\nPort: 8080\nAuthenticated Proxy Enabled: 0\n"_s;
        QTest::addRow("secure proxy never set")
            << QStringList { u"-getsecurewebproxy"_s, wifi }
            << u"Enabled: No\nServer: \nPort: 0\nAuthenticated Proxy Enabled: 0\n"_s;
        QTest::addRow("bypass domains") << QStringList { u"-getproxybypassdomains"_s, wifi }
                                        << u"*.local\n169.254/16\n"_s;
        QTest::addRow("no bypass domains")
            << QStringList { u"-getproxybypassdomains"_s, bridge }
            << u"There aren't any bypass domains set on Thunderbolt Bridge.\n"_s;
    }

    void readCommandsPrintTheToolsFormats()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        const ToolRun run = runTool(u"networksetup"_s, arguments);
        QCOMPARE(run.standardError, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, output);
        QCOMPARE(readStateFile(u"networksetup.json"_s), twoServices);
    }

    void changesPersistForLaterCalls()
    {
        const QString bridge = u"Thunderbolt Bridge"_s;
        const auto networksetup = [](const QStringList &arguments) {
            return runTool(u"networksetup"_s, arguments).standardOutput;
        };
        networksetup({ u"-setsecurewebproxy"_s, bridge, u"127.0.0.1"_s, u"3128"_s });
        QCOMPARE(networksetup({ u"-getsecurewebproxy"_s, bridge }),
            u"Enabled: Yes\nServer: 127.0.0.1\nPort: 3128\nAuthenticated Proxy Enabled: 0\n"_s);
        networksetup({ u"-setsecurewebproxystate"_s, bridge, u"off"_s });
        QCOMPARE(networksetup({ u"-getsecurewebproxy"_s, bridge }),
            u"Enabled: No\nServer: 127.0.0.1\nPort: 3128\nAuthenticated Proxy Enabled: 0\n"_s);

        networksetup({ u"-setproxybypassdomains"_s, bridge, u"localhost"_s, u"10.0.0.0/8"_s });
        QCOMPARE(networksetup({ u"-getproxybypassdomains"_s, bridge }), u"localhost\n10.0.0.0/8\n"_s);
        networksetup({ u"-setproxybypassdomains"_s, bridge, u"Empty"_s });
        QCOMPARE(networksetup({ u"-getproxybypassdomains"_s, bridge }),
            u"There aren't any bypass domains set on Thunderbolt Bridge.\n"_s);

        QCOMPARE(networksetup({ u"-getwebproxy"_s, u"Wi-Fi"_s }),
            u"Enabled: Yes\nServer: proxy.example\nPort: 8080\nAuthenticated Proxy Enabled: 0\n"_s);
    }

    void rejectedCallsChangeNothingButAreLogged_data()
    {
        QTest::addColumn<QByteArray>("failingOptions");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::addRow("switched to fail")
            << QByteArray("-listallnetworkservices\n-setwebproxy\n")
            << QStringList { u"-setwebproxy"_s, u"Wi-Fi"_s, u"a.example"_s, u"1"_s } << 1
            << u"** Error: simulated failure\n"_s;
        QTest::addRow("unknown service")
            << QByteArray() << QStringList { u"-setwebproxystate"_s, u"Ethernet"_s, u"off"_s } << 4
            << u"Ethernet is not a recognized network service.\n** Error: The parameters were not valid.\n"_s;
        QTest::addRow("port not a number")
            << QByteArray() << QStringList { u"-setwebproxy"_s, u"Wi-Fi"_s, u"a.example"_s, u"80a"_s } << 4
            << u"80a is not a valid port number.\n** Error: The parameters were not valid.\n"_s;
        QTest::addRow("port missing")
            << QByteArray() << QStringList { u"-setwebproxy"_s, u"Wi-Fi"_s, u"a.example"_s } << 1
            << u"Usage: networksetup -setwebproxy <networkservice> <domain> <port number>\n"_s;
    }

    void rejectedCallsChangeNothingButAreLogged()
    {
        QFETCH(QByteArray, failingOptions);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        if (!failingOptions.isEmpty())
            writeStateFile(u"networksetup.fail"_s, failingOptions);

        const ToolRun run = runTool(u"networksetup"_s, arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.standardError, message);
        QCOMPARE(run.standardOutput, QString());
        QCOMPARE(readStateFile(u"networksetup.json"_s), twoServices);
        QCOMPARE(logLines(u"networksetup.log"_s), QJsonArray { QJsonArray::fromStringList(arguments) });
    }

    void refusedPasswordDialogRunsNothingButCountsAsPrompt()
    {
        writeStateFile(u"osascript.refuse"_s, QByteArray());
        const ToolRun run = runAsAdministrator(u"touch ran"_s, m_work->path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardError, u"0:1: execution error: User canceled. (-128)\n"_s);
        QVERIFY(QDir(m_work->path()).isEmpty());
        QCOMPARE(logLines(u"osascript.log"_s), QJsonArray { u"touch ran"_s });
    }

    void failingScriptReportsItsStatusAndStandardError()
    {
        const ToolRun run = runAsAdministrator(u"echo partial; echo ' no access ' >&2; exit 3"_s);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardError, u"0:1: execution error: no access (3)\n"_s);
        QCOMPARE(run.standardOutput, QString());
    }

    void stringLiteralEscapesAreUndoneBeforeTheScriptRuns()
    {
        // As osascript receives it: \t, \\, an unknown escape \q and \" inside the literal.
        const QString body = uR"(printf '%s|' 'a\tb' 'c\\d' 'e\qf' \"g\"; printf 'h\ni')"_s;
        const ToolRun run = runAsAdministrator(body);
        QCOMPARE(run.standardError, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.standardOutput, u"a\tb|c\\d|e\\qf|g|h\ni\n"_s);
        QCOMPARE(logLines(u"osascript.log"_s),
            QJsonArray { u"printf '%s|' 'a\tb' 'c\\d' 'e\\qf' \"g\"; printf 'h\ni'"_s });
    }

    void malformedStatementsAreRejectedUnrun_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const auto statement = [](const QString &text) { return QStringList { u"-e"_s, text }; };
        QTest::addRow("unescaped quote")
            << statement(u"do shell script \"touch \"ran\"\" with administrator privileges"_s);
        QTest::addRow("escaped closing quote")
            << statement(u"do shell script \"touch ran\\\" with administrator privileges"_s);
        QTest::addRow("without privileges") << statement(u"do shell script \"touch ran\""_s);
        QTest::addRow("no -e") << QStringList {
            u"do shell script \"touch ran\" with administrator privileges"_s
        };
    }

    void malformedStatementsAreRejectedUnrun()
    {
        QFETCH(QStringList, arguments);
        const ToolRun run = runTool(u"osascript"_s, arguments, m_work->path());
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!run.standardError.isEmpty());
        QVERIFY(QDir(m_work->path()).isEmpty());
        QVERIFY(!QFile::exists(m_state->filePath(u"osascript.log"_s)));
    }

private:
    void writeStateFile(const QString &name, const QByteArray &contents)
    {
        QFile file(m_state->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents), contents.size());
    }

    QByteArray readStateFile(const QString &name) const
    {
        QFile file(m_state->filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QJsonObject readState() const
    {
        return QJsonDocument::fromJson(readStateFile(u"networksetup.json"_s)).object();
    }

    // Each line of a stand-in's log is one JSON value; returned in order.
    QJsonArray logLines(const QString &name) const
    {
        QByteArray lines = readStateFile(name).trimmed();
        lines.replace('\n', ',');
        return QJsonDocument::fromJson('[' + lines + ']').array();
    }

    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_work;
};

QTEST_GUILESS_MAIN(MacStandInsTest)
#include "tst_MacStandIns.moc"
