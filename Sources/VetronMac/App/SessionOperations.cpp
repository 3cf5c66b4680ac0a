#include "App/SessionOperations.h"

#include "Foundation/Error.h"

using namespace Qt::StringLiterals;

namespace Vetron {

SessionOperations::SessionOperations(QObject *parent)
    : QObject(parent)
{
}

void SessionOperations::setModel(AppModel *model)
{
    if (model == m_model)
        return;
    m_model = model;
    Q_EMIT modelChanged();
}

QVariantList SessionOperations::mappingList() const
{
    QVariantList rows;
    if (m_detail) {
        for (const ProtectedMapping &mapping : m_detail->mapping)
            rows.append(QVariant::fromValue(mapping));
    }
    return rows;
}

OperationTask *SessionOperations::rename(const QString &id, const QString &title)
{
    return OperationTask::start(this, [this, id, title](auto) { return renameSession(id, title); });
}

OperationTask *SessionOperations::reveal(const QString &id)
{
    return OperationTask::start(this, [this, id](auto) { return revealSession(id); });
}

OperationTask *SessionOperations::remove(const QString &id)
{
    return OperationTask::start(this, [this, id](auto) { return removeSession(id); });
}

QCoro::Task<> SessionOperations::renameSession(QString id, QString title)
{
    QPointer self(this);
    QPointer model(m_model);
    setBusy(true);
    if (!model) {
        setBusy(false);
        co_return;
    }
    std::exception_ptr failure;
    try {
        co_await model->tunnel->sessionCommand(u"rename"_s, id, title);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure && model) {
        co_await model->loadSessions();
        if (model) {
            std::optional<ProtectedSession> renamed;
            for (const ProtectedSession &session : model->sessions()) {
                if (session.id == id)
                    renamed = session;
            }
            model->setSelectedSession(renamed);
        }
    }
    if (self)
        finish(failure);
}

QCoro::Task<> SessionOperations::revealSession(QString id)
{
    QPointer self(this);
    QPointer model(m_model);
    setBusy(true);
    if (!model) {
        setBusy(false);
        co_return;
    }
    std::exception_ptr failure;
    std::optional<ProtectedSessionDetail> detail;
    try {
        detail = co_await model->tunnel->session(id);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (detail) {
        m_detail = std::move(detail);
        Q_EMIT revealedChanged();
    }
    finish(failure);
}

QCoro::Task<> SessionOperations::removeSession(QString id)
{
    QPointer self(this);
    QPointer model(m_model);
    setBusy(true);
    if (!model) {
        setBusy(false);
        co_return;
    }
    std::exception_ptr failure;
    try {
        co_await model->tunnel->sessionCommand(u"delete"_s, id, std::nullopt);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure && model)
        co_await model->loadSessions();
    if (!self)
        co_return;
    if (!failure) {
        m_detail.reset();
        Q_EMIT revealedChanged();
        if (model) {
            model->setSelectedSession(std::nullopt);
            model->setSection(MainSection::settings);
        }
    }
    finish(failure);
}

void SessionOperations::finish(const std::exception_ptr &failure)
{
    m_error = failure ? describeError(failure) : QString();
    Q_EMIT errorChanged();
    setBusy(false);
}

void SessionOperations::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged();
}

} // namespace Vetron
