#include "Foundation/Cancellation.h"
#include "TestSupport/AwaitTask.h"

#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using namespace Vetron;
using Vetron::Test::awaitTask;

namespace {

// A loop like the health monitor's: counts passes until its token is cancelled.
QCoro::Task<int> countPasses(std::shared_ptr<CancellationToken> token, std::chrono::milliseconds interval)
{
    int passes = 0;
    while (co_await sleepUnlessCancelled(token, interval))
        ++passes;
    co_return passes;
}

} // namespace

class CancellationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sleepOnAnAlreadyCancelledTokenReturnsAtOnce()
    {
        auto token = CancellationToken::create();
        token->cancel();
        token->cancel(); // cancelling twice is harmless
        auto task = sleepUnlessCancelled(token, 1h);
        QVERIFY(task.isReady());
        QCOMPARE(awaitTask(std::move(task)).value, false);
    }

    void oneCancelStopsEverySleeperAndTheLoopsAroundThem()
    {
        auto token = CancellationToken::create();
        auto firstLoop = countPasses(token, 5ms);
        auto secondLoop = countPasses(token, 1h);
        QTimer::singleShot(100ms, token.get(), &CancellationToken::cancel);
        const auto first = awaitTask(std::move(firstLoop), 30s);
        const auto second = awaitTask(std::move(secondLoop), 30s);
        QVERIFY(first.finished && second.finished);
        QVERIFY(*first.value >= 1);
        QCOMPARE(*second.value, 0);
    }
};

QTEST_GUILESS_MAIN(CancellationTest)
#include "tst_Cancellation.moc"
