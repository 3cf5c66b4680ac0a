#include "App/AppModel.h"
#include "App/DeveloperBuild.h"
#include "BuildConstants.h"
#include "ProcessTree.h"
#include "Stack.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace Vetron;

class LocalStackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What scripts/run shows a person, driven through the model instead of the window: the
    // one-time key enrolls and protection comes on (the fault run looks at that closely), the
    // account, sessions and update offer load, and switching off puts the proxies back.
    void clientGoesFromTheKeyToProtectionAndBack()
    {
        QTemporaryDir run;
        LocalStack::Stack stack({ run.path(), {}, QStringLiteral(VETRON_RELEASE_PRIVATE_KEY),
            QString::fromLatin1(BuildConstants::version), QStringLiteral(VETRON_STANDIN_DIR) });
        QStringList events;
        connect(&stack, &LocalStack::Stack::event, this, [&events](const QString &line) { events << line; });
        QVERIFY2(stack.start(), qPrintable(stack.error()));
        qputenv("VETRON_STANDIN_STATE", QFile::encodeName(stack.standInStateDirectory()));

        // What "--local-stack" gives a developer build of the client.
        AppModelOptions options;
        QString problem;
        const auto developer = DeveloperBuild::fromStackFolder(run.path(), &problem);
        QVERIFY2(developer && DeveloperBuild::apply(*developer, options.environment, &problem), qPrintable(problem));
        AppModel model(false, options);

        model.startActivate(stack.oneTimeKey());
        QTRY_COMPARE_WITH_TIMEOUT(model.stateText(), u"protected"_s, 30000);

        model.startLoadAccount();
        model.startLoadSessions();
        model.startCheckUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(model.accountLoaded(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.sessions().size(), 3, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.updateState().kind, UpdateScreenState::Kind::available, 30000);
        QCOMPARE(model.updateState().manifest->version, stack.offeredVersion());

        model.startToggle();
        QTRY_COMPARE_WITH_TIMEOUT(model.stateText(), u"disabled"_s, 30000);
        QTRY_COMPARE(events.constLast(), u"Системный прокси: веб- и защищённый веб-прокси Wi-Fi, Ethernet выключены"_s);
    }

    // Ctrl-C reaches the run script alone when its jobs lead process groups of their own: it
    // must stop the client, the stack and the stack's sshd itself.
    void interruptingTheRunLeavesNothingRunning()
    {
        // Into a file, as into a terminal: a pipe that closes with the script would end whatever
        // writes to it after the script, hiding what the script left running.
        QTemporaryDir directory;
        QFile output(directory.filePath(u"output"_s));
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VETRON_RUN_PREBUILT"_s, QStringLiteral(VETRON_BUILD_DIR));
        script.setProcessEnvironment(environment);
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.setStandardOutputFile(output.fileName());
        script.start(QStringLiteral(VETRON_SOURCE_DIR "/scripts/run"));
        const auto printed = [&output]() {
            output.open(QIODevice::ReadOnly);
            const QByteArray text = output.readAll();
            output.close();
            return text;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(printed().contains("Ctrl-C"), printed().constData(), 30000);

        QList<pid_t> started;
        const auto running = [&started](const QByteArray &name) {
            return std::any_of(started.cbegin(), started.cend(), [&name](pid_t pid) {
                QFile command(u"/proc/%1/comm"_s.arg(pid));
                return command.open(QIODevice::ReadOnly) && command.readAll().trimmed() == name;
            });
        };
        // The client, the stack and its sshd (the kernel keeps 15 characters of a name).
        QTRY_VERIFY_WITH_TIMEOUT((started = LocalStack::ProcessTree::descendantsOf(pid_t(script.processId())),
                                     running("vetron") && running("vetron-local-st") && running("sshd")),
            30000);

        ::kill(pid_t(script.processId()), SIGINT);
        QTRY_COMPARE_WITH_TIMEOUT(script.state(), QProcess::NotRunning, 30000);
        QCOMPARE(script.exitCode(), 130);
        for (const pid_t pid : started)
            QTRY_VERIFY2(LocalStack::ProcessTree::hasEnded(pid), qPrintable(QString::number(pid)));
    }
};

QTEST_MAIN(LocalStackTest)
#include "tst_LocalStack.moc"
