#include "App/SettingsScreen.h"

#include "Views/SessionLook.h"

using namespace Qt::StringLiterals;

namespace Vetron {

SettingsScreen::SettingsScreen(QObject *parent)
    : QObject(parent)
{
}

void SettingsScreen::setModel(AppModel *model)
{
    if (model == m_model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        connect(m_model, &AppModel::sessionsChanged, this, &SettingsScreen::pagingChanged);
        connect(m_model, &AppModel::sessionsMessageChanged, this, &SettingsScreen::pagingChanged);
        connect(m_model, &AppModel::settingsLoadedChanged, this, &SettingsScreen::editableChanged);
    }
    Q_EMIT modelChanged();
    Q_EMIT pagingChanged();
    Q_EMIT editableChanged();
}

void SettingsScreen::setPage(int page)
{
    if (page == m_page)
        return;
    m_page = page;
    Q_EMIT pagingChanged();
}

qsizetype SettingsScreen::sessionCount() const
{
    return m_model && m_model->sessionsMessage().isEmpty() ? m_model->sessions().size() : 0;
}

QString SettingsScreen::sessionsNotice() const
{
    if (!m_model)
        return {};
    if (!m_model->sessionsMessage().isEmpty())
        return m_model->sessionsMessage();
    return m_model->sessions().isEmpty() ? u"Сессии появятся после первого защищённого запроса."_s
                                         : QString();
}

QList<ProtectedSession> SettingsScreen::rows() const
{
    if (!m_model)
        return {};
    const auto [first, end] = SessionPaging::rows(m_page, sessionCount());
    return m_model->sessions().mid(first, end - first);
}

bool SettingsScreen::pagerShown() const
{
    return SessionPaging::pageCount(sessionCount()) >= 2;
}

QString SettingsScreen::pagerText() const
{
    return SessionPaging::pagerText(m_page, sessionCount());
}

bool SettingsScreen::canGoForward() const
{
    return m_page < SessionPaging::pageCount(sessionCount()) - 1;
}

void SettingsScreen::askToDelete(const ProtectedSession &session)
{
    m_sessionToDelete = session;
    Q_EMIT sessionToDeleteChanged();
}

void SettingsScreen::dismissDeletion()
{
    if (!m_sessionToDelete)
        return;
    m_sessionToDelete.reset();
    Q_EMIT sessionToDeleteChanged();
}

void SettingsScreen::cancel()
{
    if (!m_model)
        return;
    m_model->revertSettings();
    m_model->setSection(MainSection::protection);
}

OperationTask *SettingsScreen::confirmDeletion()
{
    if (!m_sessionToDelete)
        return nullptr;
    const QString id = m_sessionToDelete->id;
    dismissDeletion();
    return OperationTask::start(this, [this, id](auto) { return deleteSession(id); });
}

QCoro::Task<> SettingsScreen::deleteSession(QString id)
{
    QPointer self(this);
    QPointer model(m_model);
    if (!model)
        co_return;
    try {
        co_await model->changeSession(u"delete"_s, id);
    } catch (...) {
        // Silent by design: the row stays where it was.
        co_return;
    }
    if (self)
        setPage(SessionPaging::clampedPage(m_page, sessionCount()));
}

} // namespace Vetron
