#include "TestSupport/StandIns.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Vetron::Test::StandIns;

namespace {

struct ToolRun
{
    int exitCode = -1;
    QString standardError;
};

ToolRun runTool(const QString &path, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(path, arguments);
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit)
        return { -1, process.errorString() };
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardError()) };
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

} // namespace

class MacStandInsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<StandIns> m_standIns;
    // The scripts' working directory: an injected command would leave a file here.
    std::unique_ptr<QTemporaryDir> m_work;

    ToolRun runAsAdministrator(const QString &script) const
    {
        const QString statement = u"do shell script \""_s + appleScriptEscaped(script)
            + u"\" with administrator privileges"_s;
        return runTool(m_standIns->tools().osascript, { u"-e"_s, statement }, m_work->path());
    }

private Q_SLOTS:
    void init()
    {
        m_standIns = std::make_unique<StandIns>();
        m_work = std::make_unique<QTemporaryDir>();
        QVERIFY(m_work->isValid());
        m_standIns->setServices({ StandIns::service(u"Wi-Fi"_s) });
    }

    void cleanup()
    {
        m_standIns.reset();
        m_work.reset();
    }

    void serviceNameSurvivesShellAndAppleScriptQuoting()
    {
        const QString name = u"Bob's \"Phone\" \\ $(touch x) `touch y`; ok"_s;
        m_standIns->setServices({ StandIns::service(u"Wi-Fi"_s), StandIns::service(name) });
        const QString script = shellQuoted(m_standIns->tools().networksetup) + u" -setwebproxy "_s
            + shellQuoted(name) + u" proxy.example 8080"_s;

        const ToolRun run = runAsAdministrator(script);

        QCOMPARE(run.standardError, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(m_standIns->calls(u"networksetup"_s),
            QList<QStringList>({ { u"-setwebproxy"_s, name, u"proxy.example"_s, u"8080"_s } }));
        QCOMPARE(m_standIns->serviceNamed(name).value(u"web"_s).toObject(),
            StandIns::endpoint(true, u"proxy.example"_s, 8080));
        QCOMPARE(m_standIns->serviceNamed(u"Wi-Fi"_s), StandIns::service(u"Wi-Fi"_s));
        QVERIFY2(QDir(m_work->path()).isEmpty(), "the service name was run as shell code");
    }

    void refusedPasswordDialogRunsNothing()
    {
        m_standIns->setPasswordRefused(true);
        const ToolRun run = runAsAdministrator(u"touch ran"_s);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.standardError.contains(u"User canceled"_s), qPrintable(run.standardError));
        QVERIFY(QDir(m_work->path()).isEmpty());
    }

    void failingOptionFailsAndChangesNothing()
    {
        const QJsonArray before = m_standIns->services();
        m_standIns->setFailingOptions(u"networksetup"_s, { u"-setwebproxy"_s });
        const ToolRun run = runTool(m_standIns->tools().networksetup,
            { u"-setwebproxy"_s, u"Wi-Fi"_s, u"a.example"_s, u"1"_s }, m_work->path());
        QVERIFY(run.exitCode != 0);
        QCOMPARE(m_standIns->services(), before);

        // The same call goes through once the option is no longer set to fail.
        m_standIns->setFailingOptions(u"networksetup"_s, {});
        QCOMPARE(runTool(m_standIns->tools().networksetup,
                     { u"-setwebproxy"_s, u"Wi-Fi"_s, u"a.example"_s, u"1"_s }, m_work->path())
                     .exitCode,
            0);
        QVERIFY(m_standIns->services() != before);
    }
};

QTEST_GUILESS_MAIN(MacStandInsTest)
#include "tst_MacStandIns.moc"
