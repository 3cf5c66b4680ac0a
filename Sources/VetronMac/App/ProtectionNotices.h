#pragma once

#include "Foundation/ProtectionState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <QWindow>

#include <chrono>

namespace Vetron {

class AppModel;
class DesktopNotifier;

// How long an interruption lasts before it is told, and how long its end is shown.
struct ProtectionNoticeTimings
{
    std::chrono::milliseconds lasting { 10000 };
    std::chrono::milliseconds backShown { 5000 };
};

// What the desktop is told about protection while the window is not in front. While protection
// is wanted and the tunnel is down every website fails, so the user learns why:
// - protection that was up and stays interrupted for `lasting`: how to get out of it;
// - when it comes back after that notice: a short word that it is back, withdrawn after
//   `backShown`;
// - a switch-on that fails before protection was ever up: the state's reason.
// One notice at a time, each replacing the last; none while the window is active (activating
// it withdraws the one on screen, and an interruption that still lasts is told again when the
// window is left); switching protection off withdraws it.
class ProtectionNotices : public QObject
{
    Q_OBJECT

public:
    using Timings = ProtectionNoticeTimings;

    // The texts. A failed switch-on's body is the state's detail.
    static constexpr QStringView interruptedTitle = u"Сайты не открываются: защита прервана";
    static constexpr QStringView interruptedBody
        = u"Ветрон переподключается сам — подождите. Или выключите защиту в окне Ветрона.";
    static constexpr QStringView backTitle = u"Защита восстановлена";
    static constexpr QStringView backBody
        = u"Сайты снова открываются, личные данные заменяются перед отправкой.";
    static constexpr QStringView switchOnFailedTitle = u"Не удалось включить защиту";
    static constexpr QStringView runningWithoutWindowTitle = u"Ветрон работает без окна";
    static constexpr QStringView runningWithoutWindowBody
        = u"Защита остаётся включённой. Чтобы открыть окно, запустите Ветрон ещё раз.";

    // `window` is the client's window, whose activity the notices follow; none counts as
    // never active.
    ProtectionNotices(AppModel &model, DesktopNotifier &notifier, QWindow *window, Timings timings = {},
        QObject *parent = nullptr);
    ~ProtectionNotices() override;

    // The window was closed with no tray icon to bring it back, and the client keeps running for
    // the protection the user wants: says so, and how to get the window back.
    void tellRunningWithoutWindow();

    // Whether an interruption has lasted long enough to be told, and is not over yet.
    bool interruptionLasting() const { return m_lasting; }

private:
    enum class Notice { none, interrupted, back, switchOnFailed, runningWithoutWindow };

    void stateReported();
    void windowActivityChanged();
    void interruptionLasted();
    void present(Notice notice, QStringView title, QStringView body);
    void withdraw();
    bool windowActive() const;

    QPointer<AppModel> m_model;
    DesktopNotifier &m_notifier;
    QPointer<QWindow> m_window;
    ProtectionState m_previous;
    bool m_wasUp = false; // protected since protection was last off
    bool m_lasting = false;
    Notice m_shown = Notice::none;
    QTimer m_interruption;
    QTimer m_backShown;
};

} // namespace Vetron
