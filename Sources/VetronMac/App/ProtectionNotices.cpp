#include "App/ProtectionNotices.h"

#include "App/AppModel.h"
#include "Platform/DesktopNotifier.h"

#include <utility>

namespace Vetron {

ProtectionNotices::ProtectionNotices(
    AppModel &model, DesktopNotifier &notifier, QWindow *window, Timings timings, QObject *parent)
    : QObject(parent)
    , m_model(&model)
    , m_notifier(notifier)
    , m_window(window)
    , m_previous(model.state())
    , m_wasUp(model.state() == ProtectionState::protected_)
{
    m_interruption.setSingleShot(true);
    m_interruption.setInterval(timings.lasting);
    m_backShown.setSingleShot(true);
    m_backShown.setInterval(timings.backShown);
    connect(&m_interruption, &QTimer::timeout, this, &ProtectionNotices::interruptionLasted);
    connect(&m_backShown, &QTimer::timeout, this, [this] {
        if (m_shown == Notice::back)
            withdraw();
    });
    connect(&model, &AppModel::stateChanged, this, &ProtectionNotices::stateReported);
    connect(&notifier, &DesktopNotifier::dismissed, this, [this] { m_shown = Notice::none; });
    if (window)
        connect(window, &QWindow::activeChanged, this, &ProtectionNotices::windowActivityChanged);
}

ProtectionNotices::~ProtectionNotices() = default;

void ProtectionNotices::stateReported()
{
    if (!m_model)
        return;
    const ProtectionState state = m_model->state();
    const ProtectionState previous = std::exchange(m_previous, state);
    switch (state) {
    case ProtectionState::disabled:
        m_wasUp = false;
        m_lasting = false;
        m_interruption.stop();
        withdraw();
        break;
    case ProtectionState::protected_:
        m_wasUp = true;
        m_lasting = false;
        m_interruption.stop();
        if (m_shown == Notice::interrupted) {
            present(Notice::back, backTitle, backBody);
            m_backShown.start();
        } else if (m_shown == Notice::switchOnFailed) {
            withdraw();
        }
        break;
    case ProtectionState::connecting:
    case ProtectionState::blocked:
        // A report that repeats the interruption (another failed reconnect) leaves its clock
        // running.
        if (m_wasUp) {
            if (!m_lasting && !m_interruption.isActive())
                m_interruption.start();
        } else if (state == ProtectionState::connecting) {
            if (m_shown == Notice::switchOnFailed)
                withdraw(); // another attempt has begun
        } else if (previous == ProtectionState::connecting) {
            present(Notice::switchOnFailed, switchOnFailedTitle, m_model->detail());
        }
        break;
    }
}

void ProtectionNotices::interruptionLasted()
{
    m_lasting = true;
    present(Notice::interrupted, interruptedTitle, interruptedBody);
}

void ProtectionNotices::windowActivityChanged()
{
    if (windowActive())
        withdraw();
    else if (m_lasting)
        present(Notice::interrupted, interruptedTitle, interruptedBody);
}

void ProtectionNotices::tellRunningWithoutWindow()
{
    // The window may still count as active while it closes.
    m_notifier.show(runningWithoutWindowTitle.toString(), runningWithoutWindowBody.toString());
    m_shown = Notice::runningWithoutWindow;
}

void ProtectionNotices::present(Notice notice, QStringView title, QStringView body)
{
    if (windowActive())
        return;
    m_notifier.show(title.toString(), body.toString());
    m_shown = notice;
}

void ProtectionNotices::withdraw()
{
    if (m_shown == Notice::none)
        return;
    m_notifier.withdraw();
    m_shown = Notice::none;
}

bool ProtectionNotices::windowActive() const
{
    return m_window && m_window->isActive();
}

} // namespace Vetron
