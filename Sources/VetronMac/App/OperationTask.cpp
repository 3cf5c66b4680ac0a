#include "App/OperationTask.h"

#include <QJSEngine>
#include <QPointer>

namespace Vetron {

OperationTask::OperationTask(QObject *owner)
    : QObject(owner)
{
    // A task handed to a view stays the owner's: the script engine must not collect it.
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
}

OperationTask *OperationTask::start(QObject *owner, Operation operation)
{
    auto *task = new OperationTask(owner);
    task->run(std::move(operation));
    return task;
}

QCoro::Task<> OperationTask::run(Operation operation)
{
    QPointer self(this);
    try {
        co_await operation(m_token);
    } catch (...) {
        // The operations report their failures in properties; a stray exception still ends
        // the task, so that no view waits for ever.
    }
    if (!self)
        co_return;
    // Queued, so that an operation that ended without suspending still finishes after its
    // starter returned and the view could connect.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            m_running = false;
            Q_EMIT finished();
            deleteLater();
        },
        Qt::QueuedConnection);
}

} // namespace Vetron
