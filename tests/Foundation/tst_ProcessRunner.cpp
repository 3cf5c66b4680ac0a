#include "Foundation/ProcessRunner.h"

#include "TestSupport/AwaitTask.h"

#include <QCryptographicHash>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

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
        QVERIFY(outcome.finished);
        QVERIFY2(outcome.value, qPrintable(outcome.errorDescription()));
        QCOMPARE(outcome.value->standardOutput, QByteArray());
        QCOMPARE(outcome.value->standardError, QByteArray("warning\n"));
    }

    void argumentsArriveUnsplitAndUnquoted()
    {
        const QStringList arguments { u"-c"_s, u"printf '%s|' \"$@\""_s, u"sh"_s, u"a b"_s, u"'q'"_s, u"$(x)"_s,
                                      u""_s, u"ё"_s };
        const auto outcome = awaitTask(ProcessRunner::run(shell, arguments));
        QVERIFY(outcome.value);
        QCOMPARE(QString::fromUtf8(outcome.value->standardOutput), u"a b|'q'|$(x)||ё|"_s);
    }

    void nonZeroStatusDescribesProgramStatusAndStandardError()
    {
        const auto outcome = awaitTask(runShell(u"echo ignored; printf 'bad proxy\\n' >&2; exit 3"_s));
        QVERIFY(outcome.finished);
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QCOMPARE(error->executable(), shell);
        QCOMPARE(error->status(), 3);
        QCOMPARE(error->standardError(), u"bad proxy\n"_s);
        QCOMPARE(error->description(), u"Команда /bin/sh завершилась с кодом 3: bad proxy\n"_s);
    }

    void invalidUtf8OnStandardErrorIsReplacedNotRejected()
    {
        const auto outcome = awaitTask(runShell(u"printf 'ok \\377\\376 end' >&2; exit 1"_s));
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QVERIFY(error->standardError().startsWith(u"ok "_s));
        QVERIFY(error->standardError().endsWith(u" end"_s));
        QVERIFY(error->standardError().contains(QChar::ReplacementCharacter));
        QVERIFY(error->description().endsWith(u" end"_s));
    }

    void childKilledBySignalCountsAsFailure()
    {
        const auto outcome = awaitTask(runShell(u"kill -KILL $$"_s));
        const auto *error = outcome.errorAs<ProcessError>();
        QVERIFY(error);
        QVERIFY(error->status() != 0);
    }

    void missingExecutableIsALaunchErrorNotAProcessError()
    {
        const auto outcome = awaitTask(ProcessRunner::run(u"/nonexistent/tool"_s, {}), std::chrono::seconds(10));
        QVERIFY2(outcome.finished, "a failed launch must resume the caller at once");
        QVERIFY(!outcome.errorAs<ProcessError>());
        const auto *error = outcome.errorAs<ProcessLaunchError>();
        QVERIFY(error);
        QCOMPARE(error->error(), QProcess::FailedToStart);
        QVERIFY(!error->description().isEmpty());
    }

    void fileThatIsNotExecutableIsALaunchError()
    {
        QTemporaryFile plain;
        QVERIFY(plain.open());
        plain.write("#!/bin/sh\n");
        plain.close();
        const auto outcome = awaitTask(ProcessRunner::run(plain.fileName(), {}), std::chrono::seconds(10));
        QVERIFY(outcome.finished);
        QVERIFY(outcome.errorAs<ProcessLaunchError>());
    }

    void largeOutputOnBothPipesDoesNotStall()
    {
        // Far beyond a pipe's buffer on both channels at once: only concurrent draining finishes.
        const auto outcome = awaitTask(runShell(u"head -c 4194304 /dev/zero; head -c 1048576 /dev/zero >&2"_s));
        QVERIFY(outcome.finished);
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->standardOutput.size(), 4 * 1024 * 1024);
        QCOMPARE(outcome.value->standardError.size(), 1024 * 1024);
    }

    void inputBecomesTheWholeStandardInput()
    {
        QByteArray input(3 * 1024 * 1024, 'x');
        input.append("end");
        const auto outcome = awaitTask(runShell(u"sha256sum"_s, input));
        QVERIFY(outcome.value);
        const QByteArray digest = QCryptographicHash::hash(input, QCryptographicHash::Sha256).toHex();
        QCOMPARE(outcome.value->standardOutput, digest + "  -\n");
    }

    void withoutInputTheChildSharesTheApplicationsStandardInput()
    {
        const auto outcome = awaitTask(runShell(u"readlink /proc/self/fd/0"_s));
        QVERIFY(outcome.value);
        QCOMPARE(QString::fromUtf8(outcome.value->standardOutput.trimmed()),
                 QFile::symLinkTarget(u"/proc/self/fd/0"_s));
    }

    void eventLoopKeepsServingTimersWhileAChildRuns()
    {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&ticks]() { ++ticks; });
        timer.start();
        const auto outcome = awaitTask(runShell(u"sleep 0.4"_s));
        QVERIFY(outcome.value);
        // A blocked loop would deliver at most one (coalesced) tick.
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

    void concurrentRunsKeepTheirOwnOutputs()
    {
        auto first = runShell(u"sleep 0.2; echo first"_s);
        auto second = runShell(u"echo second; exit 0"_s);
        const auto secondOutcome = awaitTask(std::move(second));
        const auto firstOutcome = awaitTask(std::move(first));
        QVERIFY(firstOutcome.value && secondOutcome.value);
        QCOMPARE(firstOutcome.value->standardOutput, QByteArray("first\n"));
        QCOMPARE(secondOutcome.value->standardOutput, QByteArray("second\n"));
    }
};

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_ProcessRunner.moc"
