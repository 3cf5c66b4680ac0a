#include "App/UpdateFlow.h"

#include "Updates/UpdateService.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString quitAfterInstallation
    = u"Ветрон нельзя закрыть, пока устанавливается обновление: после установки он перезапустится сам."_s;
const QString relaunchHeldBack
    = u"Обновление установлено, но Ветрон не перезапущен: не удалось выключить защиту. "
      u"Закройте Ветрон и откройте его снова."_s;

} // namespace

UpdateFlow::UpdateFlow(ClientEnvironment environment, Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_hooks(std::move(hooks))
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
}

UpdateFlow::~UpdateFlow() = default;

void UpdateFlow::setState(UpdateScreenState state)
{
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

bool UpdateFlow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()
        && holdQuitForInstallation()) {
        event->ignore(); // the platform's quit is cancelled too
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QCoro::Task<> UpdateFlow::check()
{
    if (m_installing)
        co_return;
    QPointer self(this);
    setState(UpdateScreenState::of(UpdateScreenState::Kind::checking));
    const UpdateScreenState result
        = co_await UpdateService::check(m_hooks.currentVersion(), m_environment.updates());
    // The answer replaces only its own progress: not an installation begun meanwhile, nor how one ended.
    if (self && m_state.kind == UpdateScreenState::Kind::checking)
        setState(result);
}

QCoro::Task<> UpdateFlow::install(MacReleaseManifest manifest)
{
    if (m_installing)
        co_return;
    QPointer self(this);
    m_installing = true;
    setState(UpdateScreenState::withManifest(UpdateScreenState::Kind::downloading, manifest));
    const ToolPaths tools = m_environment.tools;
    const UpdateInstallOutcome outcome = co_await UpdateService::install(manifest, m_environment.updates());
    if (!self)
        co_return;
    if (outcome.kind == UpdateInstallOutcome::Kind::failed) {
        m_installing = false;
        setState(UpdateScreenState::failed(outcome.message));
        co_return;
    }
    // The user's proxies come back before the process ends; while they cannot, it does not end.
    const bool off = co_await m_hooks.switchOff();
    if (!self)
        co_return;
    m_installing = false; // the installer is done: the quit below is not held back
    if (!off) {
        setState(UpdateScreenState::failed(relaunchHeldBack));
        co_return;
    }
    UpdateService::scheduleRelaunch(outcome.bundlePath, tools, m_environment.system);
    m_hooks.terminate();
}

bool UpdateFlow::holdQuitForInstallation()
{
    if (!m_installing)
        return false;
    UpdateScreenState noted = m_state;
    noted.message = quitAfterInstallation;
    setState(noted);
    m_hooks.showUpdates();
    return true;
}

QCoro::Task<> UpdateFlow::quit()
{
    if (holdQuitForInstallation())
        co_return;
    // False as well when the model went away meanwhile.
    const bool off = co_await m_hooks.switchOff();
    if (off)
        m_hooks.terminate();
}

} // namespace Vetron
