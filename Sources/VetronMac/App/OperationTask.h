#pragma once

#include "Foundation/Cancellation.h"

#include <QCoroTask>
#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <memory>

namespace Vetron {

// One operation a view started, for the view to await: `running` until the operation has ended,
// then `finished`, always after the call that started it has returned. `cancel()` asks the
// operation to stop early (those that take no notice simply run on); it still ends with
// `finished`. Owned by the object that started it, deleted soon after it finished.
class OperationTask : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Operations hand out their tasks.")
    Q_PROPERTY(bool running READ running NOTIFY finished)

public:
    using Operation = std::function<QCoro::Task<>(std::shared_ptr<CancellationToken>)>;

    // Starts `operation` with a fresh token and returns its task, a child of `owner`.
    static OperationTask *start(QObject *owner, Operation operation);

    bool running() const { return m_running; }
    Q_INVOKABLE void cancel() { m_token->cancel(); }

Q_SIGNALS:
    void finished();

private:
    explicit OperationTask(QObject *owner);
    QCoro::Task<> run(Operation operation);

    std::shared_ptr<CancellationToken> m_token = CancellationToken::create();
    bool m_running = true;
};

} // namespace Vetron
