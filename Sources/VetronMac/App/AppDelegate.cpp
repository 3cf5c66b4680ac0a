#include "App/AppDelegate.h"

#include "Foundation/Error.h"
#include "Platform/SystemLog.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

class QtPresentableWindow : public PresentableWindow
{
public:
    explicit QtPresentableWindow(QWindow *window)
        : m_window(window)
    {
    }

    bool canBecomeKey() const override
    {
        return m_window && m_window->isVisible() && m_window->isTopLevel()
            && !(m_window->flags() & Qt::WindowDoesNotAcceptFocus)
            && (m_window->type() == Qt::Window || m_window->type() == Qt::Dialog);
    }

    void bringForward() override
    {
        if (!m_window)
            return;
        m_window->raise();
        m_window->requestActivate();
    }

private:
    QPointer<QWindow> m_window;
};

} // namespace

std::vector<std::unique_ptr<PresentableWindow>> applicationWindows()
{
    std::vector<std::unique_ptr<PresentableWindow>> windows;
    for (QWindow *window : QGuiApplication::topLevelWindows())
        windows.push_back(std::make_unique<QtPresentableWindow>(window));
    return windows;
}

AppDelegate::AppDelegate(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (!m_options.log)
        m_options.log = Platform::writeSystemLog;
#ifdef Q_OS_MACOS
    // Qt reports a click on the Dock icon as the application becoming active, even when it is.
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::applicationStateChanged, this,
            &AppDelegate::applicationStateChanged);
#endif
}

void AppDelegate::applicationDidFinishLaunching()
{
    presentActivationWindow(presentAttempts);
    enableLaunchAtLogin();
}

void AppDelegate::presentActivationWindow(int attemptsRemaining)
{
    if (m_options.nothingToDo()) {
        Q_EMIT presentationFinished(false);
        return;
    }
    if (const auto window = keyWindowCandidate()) {
        window->bringForward();
        Q_EMIT presentationFinished(true);
        return;
    }
    if (attemptsRemaining < 1) {
        Q_EMIT presentationFinished(false);
        return;
    }
    // The timer's context object is the weak reference: a destroyed delegate gets no call.
    QTimer::singleShot(
        presentRetryMs, this, [this, attemptsRemaining] { presentActivationWindow(attemptsRemaining - 1); });
}

void AppDelegate::applicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive && m_options.reopenWindow && !keyWindowCandidate())
        m_options.reopenWindow();
}

std::unique_ptr<PresentableWindow> AppDelegate::keyWindowCandidate() const
{
    std::vector<std::unique_ptr<PresentableWindow>> windows = m_options.windows();
    const auto found = std::find_if(
        windows.begin(), windows.end(), [](const auto &window) { return window->canBecomeKey(); });
    return found == windows.end() ? nullptr : std::move(*found);
}

void AppDelegate::enableLaunchAtLogin()
{
    if (m_options.launchAtLogin.isEnabled())
        return;
    try {
        m_options.launchAtLogin.registerApplication();
    } catch (...) {
        m_options.log(
            u"Ветрон: не удалось включить автозапуск — %1"_s.arg(describeError(std::current_exception())));
    }
}

} // namespace Vetron
