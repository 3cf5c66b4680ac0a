#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace Vetron {

// The client's one notification on the desktop: showing another replaces it, withdrawing takes
// it away. Titles and bodies are plain text. On Linux it speaks org.freedesktop.Notifications on
// the session bus; a desktop without that service shows nothing, which is not an error (one line
// in the log, once). On macOS it is the user notification centre.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString &line)>;

    // `log` is the system log when empty.
    explicit DesktopNotifier(Log log = {}, QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void show(const QString &title, const QString &body);
    void withdraw();

Q_SIGNALS:
    // The notification on screen went away without us: the user closed it, or it expired (told
    // on Linux only).
    void dismissed();

private Q_SLOTS:
    void closedOnDesktop(uint id, uint reason);

private:
    struct Notice
    {
        QString title;
        QString body;
    };

    void connectToDesktop();
    // Brings the desktop to m_wanted; one call at a time, so that each replaces the last.
    void deliver();
    QCoro::Task<> sendChanges();
    void unavailable(const QString &reason);

    Log m_log;
    std::optional<Notice> m_wanted;
    bool m_changed = false;
    bool m_sending = false;
    uint m_id = 0;                // the desktop's id of the notification on screen, 0 for none
    std::optional<bool> m_markup; // whether the desktop reads bodies as markup, once asked
    bool m_reportedUnavailable = false;
};

} // namespace Vetron
