#include "Foundation/Cancellation.h"

#include <QCoreApplication>
#include <QTimer>

#include <coroutine>

namespace Vetron {
namespace {

// Suspends until a timer runs out or the token is cancelled, whichever comes first. Both
// wake-ups go through one flag, so the caller is resumed exactly once, and always from a fresh
// event: never from inside the timer's or the token's signal, and never twice when both
// arrive in the same turn of the event loop (QCoro's own signal-with-timeout awaiter can resume
// twice in that race).
class InterruptibleSleep
{
public:
    InterruptibleSleep(CancellationToken &token, std::chrono::milliseconds duration)
        : m_token(token)
        , m_duration(duration)
    {
    }

    bool await_ready() const noexcept { return m_token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> caller)
    {
        auto state = m_state;
        state->caller = caller;
        const auto finish = [state](bool cancelled) {
            if (state->finished)
                return;
            state->finished = true;
            state->cancelled = cancelled;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [state]() { state->caller.resume(); }, Qt::QueuedConnection);
        };
        QTimer::singleShot(m_duration, m_context.get(), [finish]() { finish(false); });
        QObject::connect(
            &m_token, &CancellationToken::cancelled, m_context.get(), [finish]() { finish(true); });
    }

    // True when the whole duration passed.
    bool await_resume() const noexcept { return !m_token.isCancelled() && !m_state->cancelled; }

private:
    struct State
    {
        std::coroutine_handle<> caller;
        bool finished = false;
        bool cancelled = false;
    };

    CancellationToken &m_token;
    std::chrono::milliseconds m_duration;
    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::unique_ptr<QObject> m_context
        = std::make_unique<QObject>(); // ends the timer and the connection with the wait
};

} // namespace

CancelledError::CancelledError()
    : Error(QStringLiteral("Операция отменена."))
{
}

void throwIfCancelled(const std::shared_ptr<CancellationToken> &token)
{
    if (token->isCancelled())
        throw CancelledError();
}

std::shared_ptr<CancellationToken> CancellationToken::create()
{
    return std::shared_ptr<CancellationToken>(new CancellationToken);
}

void CancellationToken::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}

QCoro::Task<bool> sleepUnlessCancelled(
    std::shared_ptr<CancellationToken> token, std::chrono::milliseconds duration)
{
    co_return co_await InterruptibleSleep(*token, duration);
}

} // namespace Vetron
