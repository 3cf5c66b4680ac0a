#pragma once

#include "App/AppModel.h"
#include "App/OperationTask.h"

#include <QObject>
#include <QPointer>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// The settings screen's own state: which page of the session list it shows, the notice over the
// list, the session whose deletion waits for confirmation, and whether the settings may be
// edited and saved. The screen creates one each time it is shown, so the state starts fresh.
class SettingsScreen : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Vetron::AppModel *model READ model WRITE setModel NOTIFY modelChanged REQUIRED)
    // The stored page number; the shown page is this one clamped to the pages that exist.
    Q_PROPERTY(int page READ page NOTIFY pagingChanged)
    // The ProtectedSession values of the shown page, in the model's order; none when the list
    // could not be loaded.
    Q_PROPERTY(QList<Vetron::ProtectedSession> rows READ rows NOTIFY pagingChanged)
    // Over the list: why it could not be loaded, or that it is still empty; else empty.
    Q_PROPERTY(QString sessionsNotice READ sessionsNotice NOTIFY pagingChanged)
    Q_PROPERTY(bool pagerShown READ pagerShown NOTIFY pagingChanged)
    Q_PROPERTY(QString pagerText READ pagerText NOTIFY pagingChanged)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY pagingChanged)
    Q_PROPERTY(bool canGoForward READ canGoForward NOTIFY pagingChanged)
    // The settings' editors and "Сохранить" work only on settings the server sent: before its
    // answer, or after a failed load, the model holds defaults that a save would write over the
    // server's own (a retention of "never" would become 30 days).
    Q_PROPERTY(bool editable READ editable NOTIFY editableChanged)

public:
    explicit SettingsScreen(QObject *parent = nullptr);

    AppModel *model() const { return m_model; }
    void setModel(AppModel *model);
    int page() const { return m_page; }
    void setPage(int page);
    QList<ProtectedSession> rows() const;
    QString sessionsNotice() const;
    bool pagerShown() const;
    QString pagerText() const;
    bool canGoBack() const { return m_page >= 1; }
    bool canGoForward() const;
    const std::optional<ProtectedSession> &sessionToDelete() const { return m_sessionToDelete; }
    bool editable() const { return m_model && m_model->settingsLoaded(); }

    Q_INVOKABLE void back() { setPage(m_page - 1); }
    Q_INVOKABLE void forward() { setPage(m_page + 1); }
    // Remembers `session` until the deletion is confirmed or dismissed.
    Q_INVOKABLE void askToDelete(const Vetron::ProtectedSession &session);
    Q_INVOKABLE void dismissDeletion();
    // "Отмена": drops the unsaved edits and leaves for the main screen.
    Q_INVOKABLE void cancel();
    // Deletes the remembered session, reloads the list and clamps the page; a failure is silent
    // and leaves the list as it was. Null when no deletion waits.
    Q_INVOKABLE Vetron::OperationTask *confirmDeletion();

Q_SIGNALS:
    void modelChanged();
    void pagingChanged();
    void sessionToDeleteChanged();
    void editableChanged();

private:
    QCoro::Task<> deleteSession(QString id);
    // The sessions listed: none while the list's load has failed.
    qsizetype sessionCount() const;

    QPointer<AppModel> m_model;
    int m_page = 0;
    std::optional<ProtectedSession> m_sessionToDelete;
};

} // namespace Vetron
