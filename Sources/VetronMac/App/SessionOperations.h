#pragma once

#include "App/AppModel.h"
#include "App/OperationTask.h"
#include "Foundation/Models.h"

#include <QObject>
#include <QPointer>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

namespace Vetron {

// What the sessions screen does to one session: rename it, reveal its placeholder table, delete
// it, each through the tunnel's control requests, with the screen's own `busy` and `error`.
// The screen creates one each time it is shown, so the decrypted table lives only as long as
// the screen does and is never written anywhere.
class SessionOperations : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Vetron::AppModel *model READ model WRITE setModel NOTIFY modelChanged REQUIRED)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // Whether the table has been revealed, and its ProtectedMapping rows in the order received.
    Q_PROPERTY(bool revealed READ revealed NOTIFY revealedChanged)
    Q_PROPERTY(QList<Vetron::ProtectedMapping> mapping READ mapping NOTIFY revealedChanged)

public:
    explicit SessionOperations(QObject *parent = nullptr);

    AppModel *model() const { return m_model; }
    void setModel(AppModel *model);
    bool busy() const { return m_busy; }
    const QString &error() const { return m_error; }
    bool revealed() const { return m_detail.has_value(); }
    QList<ProtectedMapping> mapping() const
    {
        return m_detail ? m_detail->mapping : QList<ProtectedMapping>();
    }

    // Renames the session, reloads the list and selects the renamed session as listed now.
    Q_INVOKABLE Vetron::OperationTask *rename(const QString &id, const QString &title);
    // Fetches the session's placeholder table.
    Q_INVOKABLE Vetron::OperationTask *reveal(const QString &id);
    // Deletes the session, reloads the list, clears the selection and goes back to settings.
    Q_INVOKABLE Vetron::OperationTask *remove(const QString &id);

Q_SIGNALS:
    void modelChanged();
    void busyChanged();
    void errorChanged();
    void revealedChanged();

private:
    // One operation's body, given weak references to the screen and the model: both may be gone
    // after any suspension.
    using Work = std::function<QCoro::Task<>(QPointer<SessionOperations>, QPointer<AppModel>)>;
    // Runs `work` with `busy` set, then records its failure's description or clears the error.
    // Without a model nothing runs.
    QCoro::Task<> perform(Work work);
    // Ends an operation: the failure's description or none, and `busy` cleared.
    void finish(const std::exception_ptr &failure);
    void setBusy(bool busy);

    QPointer<AppModel> m_model;
    bool m_busy = false;
    QString m_error;
    std::optional<ProtectedSessionDetail> m_detail;
};

} // namespace Vetron
