#pragma once

#include "App/AccountAndSessions.h"
#include "App/ClientEnvironment.h"
#include "App/OperationTask.h"
#include "Foundation/Cancellation.h"
#include "Foundation/MainSection.h"
#include "Foundation/Models.h"
#include "Foundation/ProtectionState.h"
#include "Platform/WakeNotifier.h"
#include "Updates/MacReleaseManifest.h"
#include "Updates/UpdateScreenState.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// What the model is built with. The defaults are the product's.
struct AppModelOptions
{
    ClientEnvironment environment;
    TunnelTimings tunnelTimings;
    std::function<void(const QString &line)> tunnelLog; // the system log when empty
    WakeNotifier *wake = nullptr;                       // the system's when none is given
    std::function<void()> terminate; // quits the application: the quit item, an installed update
    // Brings the main window forward: a quit that could not switch protection off, or that
    // waits for an installation, shows why there.
    std::function<void()> showWindow;
};

class TunnelService;
class SettingsEdits;
class UpdateFlow;

// The one object every screen, the tray menu and the application shell observe and call. It
// owns the tunnel service and, through its parts, the portal client, turns the tunnel's state reports into
// properties, and offers the user's actions as operations that never fail: every failure ends
// as a text in a property. Navigation goes through `open`, which also starts what the opened
// section shows. Lives on the interface thread.
class AppModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application creates the one model and hands it to the views.")
    Q_PROPERTY(Vetron::ProtectionStateForViews::Value state READ stateForViews NOTIFY stateChanged)
    Q_PROPERTY(QString detail READ detail NOTIFY detailChanged)
    Q_PROPERTY(Vetron::MainSectionForViews::Value section READ sectionForViews NOTIFY sectionChanged)
    Q_PROPERTY(bool activated READ activated NOTIFY activatedChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    // A view's edit of a member (settings.retentionDays = 7) is written back through setSettings.
    Q_PROPERTY(Vetron::ProtectionSettings settings READ settings WRITE setSettings NOTIFY settingsChanged)
    // True once the latest settings load succeeded; false while one runs and after a failed one.
    Q_PROPERTY(bool settingsLoaded READ settingsLoaded NOTIFY settingsLoadedChanged)
    // The device, empty while `hasDevice` is false (before the account is loaded).
    Q_PROPERTY(Vetron::DeviceInfo device READ deviceValue NOTIFY deviceChanged)
    Q_PROPERTY(bool hasDevice READ hasDevice NOTIFY deviceChanged)
    // The subscription, empty while `hasSubscription` is false (there is none).
    Q_PROPERTY(Vetron::SubscriptionInfo subscription READ subscriptionValue NOTIFY subscriptionChanged)
    Q_PROPERTY(bool hasSubscription READ hasSubscription NOTIFY subscriptionChanged)
    Q_PROPERTY(Vetron::UsageResponse usage READ usage NOTIFY usageChanged)
    Q_PROPERTY(bool accountLoaded READ accountLoaded NOTIFY accountLoadedChanged)
    Q_PROPERTY(QString accountMessage READ accountMessage NOTIFY accountMessageChanged)
    // ProtectedSession values, newest first as the server sends them.
    Q_PROPERTY(QList<Vetron::ProtectedSession> sessions READ sessions NOTIFY sessionsChanged)
    Q_PROPERTY(QString sessionsMessage READ sessionsMessage NOTIFY sessionsMessageChanged)
    Q_PROPERTY(Vetron::UpdateScreenState updateState READ updateState NOTIFY updateStateChanged)
    // The session whose own screen is shown, empty while `hasSelectedSession` is false;
    // `openSession` selects one, `closeSession` clears it.
    Q_PROPERTY(
        Vetron::ProtectedSession selectedSession READ selectedSessionValue NOTIFY selectedSessionChanged)
    Q_PROPERTY(bool hasSelectedSession READ hasSelectedSession NOTIFY selectedSessionChanged)
    Q_PROPERTY(QString currentVersion READ currentVersion NOTIFY currentVersionChanged)
    // The personal-account page of the portal, opened in the browser.
    Q_PROPERTY(QUrl portalAppUrl READ portalAppUrl CONSTANT)

public:
    using Options = AppModelOptions;

    explicit AppModel(bool autoConnect, Options options = {}, QObject *parent = nullptr);
    ~AppModel() override;

    ProtectionState state() const { return m_state; }
    QString stateText() const { return toText(m_state); }
    const QString &detail() const { return m_detail; }
    MainSection section() const { return m_section; }
    // Shows `section` without starting anything (the preview renderer's pictures, a quit that
    // shows why it waits); leaving the account screen cancels the load its opening started.
    void setSection(MainSection section);
    // Shows `section` and starts what it shows: the account's summary (cancelled when the
    // screen is left), the settings together with the account and the session list where the
    // model lacks them, a new update check.
    void open(MainSection section);
    bool activated() const { return m_activated; }
    bool busy() const { return m_busy; }
    const QString &message() const { return m_message; }
    const ProtectionSettings &settings() const;
    void setSettings(ProtectionSettings settings);
    bool settingsLoaded() const;
    // Puts back the settings the server last sent or accepted, dropping the edits made since.
    void revertSettings();
    const std::optional<DeviceInfo> &device() const { return m_records->device(); }
    const std::optional<SubscriptionInfo> &subscription() const { return m_records->subscription(); }
    const UsageResponse &usage() const { return m_records->usage(); }
    bool accountLoaded() const { return m_records->accountLoaded(); }
    const QString &accountMessage() const { return m_records->accountMessage(); }
    const UpdateScreenState &updateState() const;
    const QList<ProtectedSession> &sessions() const { return m_records->sessions(); }
    const QString &sessionsMessage() const { return m_records->sessionsMessage(); }
    const std::optional<ProtectedSession> &selectedSession() const { return m_selectedSession; }
    void setSelectedSession(std::optional<ProtectedSession> session);
    QString currentVersion() const;
    const std::optional<QString> &versionOverride() const { return m_versionOverride; }
    // The preview renderer's pictures and a developer build's installed version set it;
    // `currentVersion` follows, and an update check compares releases with it.
    void setVersionOverride(std::optional<QString> version);
    QUrl portalAppUrl() const;

    ProtectionStateForViews::Value stateForViews() const { return forViews(m_state); }
    MainSectionForViews::Value sectionForViews() const { return forViews(m_section); }
    DeviceInfo deviceValue() const { return device().value_or(DeviceInfo()); }
    bool hasDevice() const { return device().has_value(); }
    SubscriptionInfo subscriptionValue() const { return subscription().value_or(SubscriptionInfo()); }
    bool hasSubscription() const { return subscription().has_value(); }
    ProtectedSession selectedSessionValue() const { return m_selectedSession.value_or(ProtectedSession()); }
    bool hasSelectedSession() const { return m_selectedSession.has_value(); }
    // Setters for the preview renderer's sample model; the running client never calls them.
    void setActivated(bool activated);
    void setMessage(const QString &message);
    void setState(ProtectionState state, const QString &detail) { applyReport(state, detail); }
    void setDevice(std::optional<DeviceInfo> device) { m_records->setDevice(std::move(device)); }
    void setSubscription(std::optional<SubscriptionInfo> subscription)
    {
        m_records->setSubscription(std::move(subscription));
    }
    void setUsage(UsageResponse usage) { m_records->setUsage(usage); }
    void setAccountLoaded(bool loaded) { m_records->setAccountLoaded(loaded); }
    // Settings as if the server had just sent them.
    void setLoadedSettings(ProtectionSettings settings);
    void setSessions(QList<ProtectedSession> sessions, QString message = {})
    {
        m_records->setSessions(std::move(sessions), std::move(message));
    }
    void setUpdateState(UpdateScreenState state);

    // The state report handler handed to the tunnel service: callable from any context; the
    // report is applied later on the interface thread, in order. A null `detail` means the
    // report came without a text (an empty one counts as given).
    void receiveReport(ProtectionState state, QString detail);

    // The version shown: the override, else the application's own version, else "dev".
    static QString versionText(const std::optional<QString> &override, const QString &buildVersion);

    // Switches protection off when it is on, else on (again).
    QCoro::Task<> toggle();
    // Switches protection on (again) whatever its state.
    QCoro::Task<> switchProtectionOn();
    // Switches protection off whatever its state: the way out of a protection that is wanted but
    // not working, whose proxies keep every website away until then.
    QCoro::Task<> switchProtectionOff();
    QCoro::Task<> activate(QString code);
    // Cancelling `token` (the account screen went away) stops the load at its next step.
    QCoro::Task<> loadAccount(std::shared_ptr<CancellationToken> token = CancellationToken::create());
    // An answer that comes while the user's edits are pending keeps the edits.
    QCoro::Task<> loadSettings();
    QCoro::Task<> saveSettings();
    QCoro::Task<> purgeMap();
    QCoro::Task<> loadSessions() { return m_records->loadSessions(); }
    // Sends one session command ("rename" with a title, "delete" without) and, once it succeeded,
    // reloads the list; a failed command throws and leaves the list as it was.
    QCoro::Task<> changeSession(QString action, QString id, std::optional<QString> title = std::nullopt)
    {
        return m_records->changeSession(std::move(action), std::move(id), std::move(title));
    }
    // The updates and the way out, as UpdateFlow describes them; a quit or a relaunch that could
    // not switch protection off leaves the window forward on the protection screen.
    QCoro::Task<> checkUpdates();
    QCoro::Task<> installUpdate(MacReleaseManifest manifest);
    QCoro::Task<> quit();

    // Navigation for the header, the back buttons and the session list.
    Q_INVOKABLE void openSection(Vetron::MainSectionForViews::Value section);
    // Selects `session` and shows its own screen.
    Q_INVOKABLE void openSession(const Vetron::ProtectedSession &session);
    // Leaves a session's screen for the list on the settings screen.
    Q_INVOKABLE void closeSession();

    // Starters for the views: each begins its operation and returns at once with its task,
    // which a view may await (`finished`); cancelling it stops only the account load.
    Q_INVOKABLE Vetron::OperationTask *startToggle();
    Q_INVOKABLE Vetron::OperationTask *startSwitchProtectionOff();
    Q_INVOKABLE Vetron::OperationTask *startActivate(const QString &code);
    Q_INVOKABLE Vetron::OperationTask *startLoadAccount();
    Q_INVOKABLE Vetron::OperationTask *startLoadSettings();
    Q_INVOKABLE Vetron::OperationTask *startSaveSettings();
    Q_INVOKABLE Vetron::OperationTask *startPurgeMap();
    Q_INVOKABLE Vetron::OperationTask *startLoadSessions();
    Q_INVOKABLE Vetron::OperationTask *startCheckUpdates();
    Q_INVOKABLE Vetron::OperationTask *startQuit();
    // Installs `manifest`, the release the updates screen offered when the user chose it.
    Q_INVOKABLE Vetron::OperationTask *startInstallUpdate(const Vetron::MacReleaseManifest &manifest);

    // The placeholder table of one session, fetched through the tunnel.
    QCoro::Task<ProtectedSessionDetail> revealSession(QString id)
    {
        return m_records->revealSession(std::move(id));
    }

Q_SIGNALS:
    void stateChanged();
    void detailChanged();
    void sectionChanged();
    void activatedChanged();
    void busyChanged();
    void messageChanged();
    void settingsChanged();
    void settingsLoadedChanged();
    void deviceChanged();
    void subscriptionChanged();
    void usageChanged();
    void accountLoadedChanged();
    void accountMessageChanged();
    void updateStateChanged();
    void sessionsChanged();
    void sessionsMessageChanged();
    void selectedSessionChanged();
    void currentVersionChanged();

private:
    OperationTask *start(OperationTask::Operation operation);
    void applyReport(ProtectionState state, const QString &detail);
    void setBusy(bool busy);
    // Clears `busy` once the state reports made so far have been applied, so that the switch is
    // never enabled next to a state that is about to change.
    void clearBusyAfterReports();
    // Loads what the settings screen lists and the model lacks: the account, then the sessions.
    QCoro::Task<> loadSessionList();
    // Switches protection off and tells whether it is off now; when it is not, the window comes
    // forward on the protection screen.
    QCoro::Task<bool> switchOff();

    ProtectionState m_state = ProtectionState::disabled;
    QString m_detail;
    MainSection m_section = MainSection::protection;
    bool m_activated = false;
    bool m_busy = false;
    QString m_message;
    std::optional<ProtectedSession> m_selectedSession;
    std::optional<QString> m_versionOverride;

    ClientEnvironment m_environment;
    TunnelService *m_tunnel;
    AccountAndSessions *m_records;
    SettingsEdits *m_settingsEdits;
    // The account load the account screen's opening started, while it runs.
    std::shared_ptr<CancellationToken> m_accountScreenLoad;
    std::function<void()> m_terminate;
    std::function<void()> m_showWindow;
    UpdateFlow *m_updates;
};

} // namespace Vetron
