#include "Foundation/Cancellation.h"

#include <QCoroSignal>

namespace Vetron {

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

QCoro::Task<bool> sleepUnlessCancelled(std::shared_ptr<CancellationToken> token, std::chrono::milliseconds duration)
{
    if (token->isCancelled())
        co_return false;
    // Waiting for the cancel signal with the duration as time limit: no signal means the sleep ran out.
    const auto woken = co_await qCoro(token.get(), &CancellationToken::cancelled, duration);
    co_return !woken.has_value();
}

} // namespace Vetron
