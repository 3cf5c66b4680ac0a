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

OperationTask *SessionOperations::rename(const QString &id, const QString &title)
{
    return OperationTask::start(this, [this, id, title](auto) {
        return perform([id, title](QPointer<SessionOperations>, QPointer<AppModel> model) -> QCoro::Task<> {
            co_await model->changeSession(u"rename"_s, id, title);
            if (!model)
                co_return;
            std::optional<ProtectedSession> renamed;
            for (const ProtectedSession &session : model->sessions()) {
                if (session.id == id)
                    renamed = session;
            }
            model->setSelectedSession(renamed);
        });
    });
}

OperationTask *SessionOperations::reveal(const QString &id)
{
    return OperationTask::start(this, [this, id](auto) {
        return perform([id](QPointer<SessionOperations> self, QPointer<AppModel> model) -> QCoro::Task<> {
            ProtectedSessionDetail detail = co_await model->revealSession(id);
            if (!self)
                co_return;
            self->m_detail = std::move(detail);
            Q_EMIT self->revealedChanged();
        });
    });
}

OperationTask *SessionOperations::remove(const QString &id)
{
    return OperationTask::start(this, [this, id](auto) {
        return perform([id](QPointer<SessionOperations> self, QPointer<AppModel> model) -> QCoro::Task<> {
            co_await model->changeSession(u"delete"_s, id);
            if (self) {
                self->m_detail.reset();
                Q_EMIT self->revealedChanged();
            }
            if (model) {
                model->setSelectedSession(std::nullopt);
                model->setSection(MainSection::settings);
            }
        });
    });
}

QCoro::Task<> SessionOperations::perform(Work work)
{
    QPointer self(this);
    QPointer model(m_model);
    if (!model)
        co_return;
    setBusy(true);
    std::exception_ptr failure;
    try {
        co_await work(self, model);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
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
