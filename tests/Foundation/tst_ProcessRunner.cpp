#include "Foundation/ProcessRunner.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/RussianText.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <cerrno>

#include <signal.h>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;

namespace {

const QString shell = u"/bin/sh"_s;

QCoro::Task<ProcessOutput> runShell(const QString &script, std::optional<QByteArray> input = std::nullopt)
{
    QStringList arguments { u"-c"_s, script };
    return ProcessRunner::run(shell, arguments, std::move(input));
}

} // namespace

class ProcessRunnerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exitZeroWithOnlyStandardErrorIsSuccess()
    {
        const auto outcome = awaitTask(runShell(u"printf 'warning\\n' >&2"_s));
        QVERIFY2(outcome.value, qPrintable(outcome.errorDescription()));
        QCOMPARE(outcome.value->standardOutput, QByteArray());
        QCOMPARE(outcome.value->standardError, QByteArray("warning\n"));
    }

    void argumentsArriveUnsplitAndUnquoted()
    {
        const QStringList arguments { u"-c"_s, u"printf '%s|' \"$@\""_s, u"sh"_s, u"a b"_s, u"'q'"_s,
            u"$(x)"_s, u""_s, u"ё"_s };
        const auto outcome = awaitTask(ProcessRunner::run(shell, arguments));
        QVERIFY(outcome.value);
        QCOMPARE(QString::fromUtf8(outcome.value->standardOutput), u"a b|'q'|$(x)||ё|"_s);
    }

    // Standard error is quoted as it came, with bytes that are no UTF-8 replaced, not refused.
    void nonZeroStatusDescribesProgramStatusAndStandardError()
    {
        const auto outcome = awaitTask(runShell(u"echo ignored; printf 'bad \\377 proxy\\n' >&2; exit 3"_s));
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QCOMPARE(error->executable(), shell);
        QCOMPARE(error->status(), 3);
        QCOMPARE(error->standardError(), u"bad \uFFFD proxy\n"_s);
        QCOMPARE(error->description(), u"Команда /bin/sh завершилась с кодом 3: bad \uFFFD proxy\n"_s);
    }

    void childKilledBySignalCountsAsFailure()
    {
        const auto outcome = awaitTask(runShell(u"kill -KILL $$"_s));
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QVERIFY(error->status() != 0);
    }

    void unlaunchableProgramIsARussianLaunchError_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("reason");
        QTest::addRow("missing") << false << u"Файл или папка не найдены."_s;
        QTest::addRow("not executable") << true << u"Нет прав доступа."_s;
    }

    void unlaunchableProgramIsARussianLaunchError()
    {
        QFETCH(bool, exists);
        QFETCH(QString, reason);
        QTemporaryFile plain;
        QVERIFY(plain.open());
        plain.write("#!/bin/sh\n");
        plain.close();
        const QString program = exists ? plain.fileName() : u"/nonexistent/tool"_s;
        const auto outcome = awaitTask(ProcessRunner::run(program, {}), std::chrono::seconds(10));
        QVERIFY2(outcome.finished, "a failed launch must resume the caller at once");
        QVERIFY(!outcome.errorAs<ProcessError>());
        const auto *error = outcome.errorAs<ProcessLaunchError>();
        QVERIFY(error);
        QCOMPARE(error->error(), QProcess::FailedToStart);
        QCOMPARE(error->description(), u"Не удалось запустить программу "_s + program + u": "_s + reason);
        QCOMPARE(Test::nonRussianPart(error->description(), { program }), QString());
    }

    void childrenEndWhenTheApplicationQuits()
    {
        QTemporaryDir directory;
        // One child that ends on the polite signal, one that ignores it (the ignored signal
        // survives exec), both through run; and one long-lived child through launch.
        const QString polite = directory.filePath(u"polite"_s);
        const QString stubborn = directory.filePath(u"stubborn"_s);
        auto politeRun = runShell(u"echo $$ > '%1'; exec /bin/sleep 60"_s.arg(polite));
        auto stubbornRun = runShell(u"trap '' TERM; echo $$ > '%1'; exec /bin/sleep 60"_s.arg(stubborn));
        QProcess launched;
        launched.setProgram(u"/bin/sleep"_s);
        launched.setArguments({ u"60"_s });
        QVERIFY(awaitTask(ProcessRunner::launch(launched)).value);

        const auto pidIn = [](const QString &file) {
            QFile pid(file);
            return pid.open(QIODevice::ReadOnly) ? pid.readAll().trimmed().toLongLong() : 0;
        };
        QTRY_VERIFY(pidIn(polite) > 0 && pidIn(stubborn) > 0);
        const QList<qint64> children { pidIn(polite), pidIn(stubborn), launched.processId() };

        // A real quit: the loop ends and the application announces it.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();

        for (const qint64 child : children)
            QVERIFY2(::kill(pid_t(child), 0) != 0 && errno == ESRCH, qPrintable(QString::number(child)));
        QVERIFY(awaitTask(std::move(politeRun)).errorAs<ProcessError>());
        QVERIFY(awaitTask(std::move(stubbornRun)).errorAs<ProcessError>());
    }

    // Far beyond a pipe's buffer on all three pipes, and cat writes while it still reads: only
    // feeding and draining them all at once finishes.
    void largeInputAndOutputsDoNotStall()
    {
        QByteArray input(3 * 1024 * 1024, 'x');
        input.append("end");
        const auto outcome = awaitTask(runShell(u"cat; head -c 1048576 /dev/zero >&2"_s, input));
        QVERIFY(outcome.value);
        QVERIFY(outcome.value->standardOutput == input);
        QCOMPARE(outcome.value->standardError.size(), 1024 * 1024);
    }

    void withoutInputTheChildSharesTheApplicationsStandardInput()
    {
        if (!QFileInfo::exists(u"/proc/self/fd/0"_s))
            QSKIP("Needs /proc (Linux) to see where a process's standard input leads.");
        const auto outcome = awaitTask(runShell(u"readlink /proc/self/fd/0"_s));
        QVERIFY(outcome.value);
        QCOMPARE(QString::fromUtf8(outcome.value->standardOutput.trimmed()),
            QFile::symLinkTarget(u"/proc/self/fd/0"_s));
    }

    // While a child runs, the loop serves timers, and a second run ends first with its own output.
    void eventLoopKeepsServingWhileAChildRuns()
    {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&ticks]() { ++ticks; });
        timer.start();
        auto first = runShell(u"sleep 0.4; echo first"_s);
        const auto second = awaitTask(runShell(u"echo second"_s));
        const auto firstOutcome = awaitTask(std::move(first));
        QVERIFY(firstOutcome.value && second.value);
        QCOMPARE(firstOutcome.value->standardOutput, QByteArray("first\n"));
        QCOMPARE(second.value->standardOutput, QByteArray("second\n"));
        // A blocked loop would deliver at most one (coalesced) tick.
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }
};

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_ProcessRunner.moc"
