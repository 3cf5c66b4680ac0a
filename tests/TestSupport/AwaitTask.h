#pragma once

#include "Foundation/Error.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

namespace Vetron::Test {

// What a task ended with: its value, or the exception it threw; `finished` is false when the
// time limit passed first.
template<class T> struct TaskOutcome
{
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    bool finished = false;
    std::optional<Value> value;
    std::exception_ptr error;

    // The exception as E, or nullptr when there was none or it is of another type.
    template<class E> const E *errorAs() const
    {
        if (!error)
            return nullptr;
        try {
            std::rethrow_exception(error);
        } catch (const E &e) {
            return &e;
        } catch (...) {
            return nullptr;
        }
    }

    QString errorDescription() const
    {
        const auto *e = errorAs<Error>();
        return e ? e->description() : QString();
    }
};

namespace Detail {

template<class T> struct AwaitState
{
    TaskOutcome<T> outcome;
    QEventLoop *loop = nullptr;
};

template<class T> QCoro::Task<> drive(QCoro::Task<T> task, std::shared_ptr<AwaitState<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            state->outcome.value.emplace();
        } else {
            state->outcome.value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->outcome.error = std::current_exception();
    }
    state->outcome.finished = true;
    if (state->loop)
        state->loop->quit();
}

} // namespace Detail

// Runs the event loop until `task` ends or `limit` passes. For tests only: it spins a nested
// event loop, which the client itself never does.
template<class T>
TaskOutcome<T> awaitTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    auto state = std::make_shared<Detail::AwaitState<T>>();
    Detail::drive(std::move(task), state);
    if (!state->outcome.finished) {
        QEventLoop loop;
        state->loop = &loop;
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
        state->loop = nullptr;
    }
    return state->outcome;
}

} // namespace Vetron::Test
