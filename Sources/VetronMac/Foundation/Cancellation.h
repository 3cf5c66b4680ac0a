#pragma once

#include "Foundation/Error.h"

#include <QCoroTask>
#include <QObject>

#include <chrono>
#include <memory>

namespace Vetron {

// A cancellation flag shared between the owner of a long-running task and the task itself.
// Lives on the interface thread; `cancel` is final and wakes every interruptible sleep.
class CancellationToken : public QObject
{
    Q_OBJECT

public:
    static std::shared_ptr<CancellationToken> create();

    bool isCancelled() const { return m_cancelled; }
    void cancel();

Q_SIGNALS:
    void cancelled();

private:
    CancellationToken() = default;

    bool m_cancelled = false;
};

// An operation stopped because its token was cancelled.
class CancelledError : public Error
{
public:
    CancelledError();
};

// Throws CancelledError when `token` is cancelled.
void throwIfCancelled(const std::shared_ptr<CancellationToken> &token);

// Suspends for `duration` unless `token` is cancelled first. Returns true when the whole
// duration passed, false when the token was (or already is) cancelled.
QCoro::Task<bool> sleepUnlessCancelled(
    std::shared_ptr<CancellationToken> token, std::chrono::milliseconds duration);

} // namespace Vetron
