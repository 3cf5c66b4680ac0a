#include "App/AppModel.h"

#include "Account/ActivationService.h"
#include "Account/PortalAccountClient.h"
#include "App/AccountSummaryLoad.h"
#include "App/UpdateFlow.h"
#include "Foundation/ClientPaths.h"
#include "Platform/ApplicationVersion.h"
#include "Protection/TunnelService.h"
#include "Protection/TunnelStateTexts.h"

#include <QCoreApplication>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString accountLoading = u"Получаем информацию по ключу этого Mac…"_s;

} // namespace

AppModel::AppModel(bool autoConnect, Options options, QObject *parent)
    : QObject(parent)
    , m_detail(TunnelStateTexts::defaultDetail(ProtectionState::disabled))
    , m_activated(ClientPaths::hasCompleteActivation(ClientPaths::root()))
    , m_environment(std::move(options.environment))
    , m_tunnel(new TunnelService(
          [self = QPointer(this)](ProtectionState state, const QString &detail) {
              if (self)
                  self->receiveReport(state, detail);
          },
          m_environment.tunnel(options.tunnelTimings, std::move(options.tunnelLog)), this))
    , m_accountClient(new PortalAccountClient(m_environment.servers, this))
    , m_terminate(options.terminate ? std::move(options.terminate) : []() { QCoreApplication::quit(); })
    , m_showWindow(options.showWindow ? std::move(options.showWindow) : []() {})
{
    UpdateFlow::Hooks hooks;
    hooks.currentVersion = [this]() { return currentVersion(); };
    hooks.switchOff = [this]() { return switchOff(); };
    hooks.terminate = [this]() { m_terminate(); };
    hooks.showUpdates = [this]() {
        setSection(MainSection::updates);
        m_showWindow();
    };
    m_updates = new UpdateFlow(m_environment, std::move(hooks), this);
    connect(m_updates, &UpdateFlow::stateChanged, this, &AppModel::updateStateChanged);
    if (!autoConnect)
        return;
    WakeNotifier *wake = options.wake;
    if (!wake) {
        wake = new WakeNotifier(this);
        wake->subscribeToSystem();
    }
    QObject::connect(wake, &WakeNotifier::systemDidWake, m_tunnel, &TunnelService::systemDidWake);
    // Started from the event loop, so that its busy change is seen like any other.
    if (m_activated) {
        QMetaObject::invokeMethod(
            this, [this]() { enableWhileBusy(); }, Qt::QueuedConnection);
    }
}

AppModel::~AppModel() = default;

void AppModel::receiveReport(ProtectionState state, QString detail)
{
    // Queued events to one receiver are delivered in the order they were posted; the weak
    // reference drops reports that arrive after the model is gone.
    QMetaObject::invokeMethod(
        this,
        [self = QPointer(this), state, detail]() {
            if (self)
                self->applyReport(state, detail);
        },
        Qt::QueuedConnection);
}

void AppModel::applyReport(ProtectionState state, const QString &detail)
{
    m_state = state;
    Q_EMIT stateChanged();
    m_detail = detail.isNull() ? TunnelStateTexts::defaultDetail(state) : detail;
    Q_EMIT detailChanged();
}

void AppModel::setSection(MainSection section)
{
    if (section == m_section)
        return;
    if (m_section == MainSection::account && m_accountScreenLoad) {
        m_accountScreenLoad->cancel();
        m_accountScreenLoad.reset();
    }
    m_section = section;
    Q_EMIT sectionChanged();
}

void AppModel::open(MainSection section)
{
    setSection(section);
    switch (section) {
    case MainSection::account:
        if (!m_accountScreenLoad) {
            const auto token = CancellationToken::create();
            m_accountScreenLoad = token;
            start([this, token](auto) -> QCoro::Task<> {
                QPointer self(this);
                co_await loadAccount(token);
                if (self && m_accountScreenLoad == token)
                    m_accountScreenLoad.reset();
            });
        }
        break;
    case MainSection::settings:
        start([this](auto) { return loadSettings(); });
        start([this](auto) { return loadSessionList(); });
        break;
    case MainSection::updates:
        start([this](auto) { return checkUpdates(); });
        break;
    case MainSection::protection:
    case MainSection::sessions:
        break;
    }
}

void AppModel::openSection(MainSectionForViews::Value section)
{
    if (section >= MainSectionForViews::Protection && section <= MainSectionForViews::Settings)
        open(fromViews(section));
}

void AppModel::openSession(const ProtectedSession &session)
{
    setSelectedSession(session);
    setSection(MainSection::sessions);
}

void AppModel::closeSession()
{
    setSelectedSession(std::nullopt);
    setSection(MainSection::settings);
    start([this](auto) { return loadSessionList(); });
}

QCoro::Task<> AppModel::loadSessionList()
{
    QPointer self(this);
    if (!accountLoaded())
        co_await loadAccount();
    if (self && sessions().isEmpty())
        co_await loadSessions();
}

OperationTask *AppModel::start(OperationTask::Operation operation)
{
    return OperationTask::start(this, std::move(operation));
}

OperationTask *AppModel::startToggle()
{
    return start([this](auto) { return toggle(); });
}

OperationTask *AppModel::startActivate(const QString &code)
{
    return start([this, code](auto) { return activate(code); });
}

OperationTask *AppModel::startLoadAccount()
{
    return start([this](auto token) { return loadAccount(std::move(token)); });
}

OperationTask *AppModel::startLoadSettings()
{
    return start([this](auto) { return loadSettings(); });
}

OperationTask *AppModel::startSaveSettings()
{
    return start([this](auto) { return saveSettings(); });
}

OperationTask *AppModel::startPurgeMap()
{
    return start([this](auto) { return purgeMap(); });
}

OperationTask *AppModel::startLoadSessions()
{
    return start([this](auto) { return loadSessions(); });
}

OperationTask *AppModel::startCheckUpdates()
{
    return start([this](auto) { return checkUpdates(); });
}

OperationTask *AppModel::startQuit()
{
    return start([this](auto) { return quit(); });
}

OperationTask *AppModel::startInstallUpdate(const MacReleaseManifest &manifest)
{
    return start([this, manifest](auto) { return installUpdate(manifest); });
}

void AppModel::setSettings(ProtectionSettings settings)
{
    m_settings = std::move(settings);
    Q_EMIT settingsChanged();
}

void AppModel::setSettingsLoaded(bool loaded)
{
    if (loaded == m_settingsLoaded)
        return;
    m_settingsLoaded = loaded;
    Q_EMIT settingsLoadedChanged();
}

void AppModel::setLoadedSettings(ProtectionSettings settings)
{
    m_serverSettings = settings;
    setSettings(std::move(settings));
    setSettingsLoaded(true);
}

bool AppModel::hasPendingSettingsEdits() const
{
    return m_serverSettings && m_settings != *m_serverSettings;
}

void AppModel::revertSettings()
{
    if (hasPendingSettingsEdits())
        setSettings(*m_serverSettings);
}

void AppModel::setSelectedSession(std::optional<ProtectedSession> session)
{
    m_selectedSession = std::move(session);
    Q_EMIT selectedSessionChanged();
}

void AppModel::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged();
}

void AppModel::clearBusyAfterReports()
{
    // Reports are applied through queued calls on this object too, which run in posting order.
    QMetaObject::invokeMethod(
        this, [this]() { setBusy(false); }, Qt::QueuedConnection);
}

void AppModel::setMessage(const QString &message)
{
    m_message = message;
    Q_EMIT messageChanged();
}

void AppModel::setActivated(bool activated)
{
    m_activated = activated;
    Q_EMIT activatedChanged();
}

void AppModel::setDevice(std::optional<DeviceInfo> device)
{
    m_device = std::move(device);
    Q_EMIT deviceChanged();
}

void AppModel::setSubscription(std::optional<SubscriptionInfo> subscription)
{
    m_subscription = std::move(subscription);
    Q_EMIT subscriptionChanged();
}

void AppModel::setUsage(UsageResponse usage)
{
    m_usage = usage;
    Q_EMIT usageChanged();
}

void AppModel::setAccountLoaded(bool loaded)
{
    m_accountLoaded = loaded;
    Q_EMIT accountLoadedChanged();
}

void AppModel::setAccountMessage(const QString &message)
{
    m_accountMessage = message;
    Q_EMIT accountMessageChanged();
}

const UpdateScreenState &AppModel::updateState() const
{
    return m_updates->state();
}

void AppModel::setUpdateState(UpdateScreenState state)
{
    m_updates->setState(std::move(state));
}

void AppModel::setSessions(QList<ProtectedSession> sessions, QString message)
{
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
    m_sessionsMessage = std::move(message);
    Q_EMIT sessionsMessageChanged();
}

QString AppModel::currentVersion() const
{
    return versionText(m_versionOverride, Platform::applicationVersion());
}

void AppModel::setVersionOverride(std::optional<QString> version)
{
    if (version == m_versionOverride)
        return;
    m_versionOverride = std::move(version);
    Q_EMIT currentVersionChanged();
}

QUrl AppModel::portalAppUrl() const
{
    return ServerAddresses::withPath(m_environment.servers.portalBase, u"app"_s);
}

QString AppModel::versionText(const std::optional<QString> &override, const QString &buildVersion)
{
    if (override)
        return *override;
    return buildVersion.isEmpty() ? u"dev"_s : buildVersion;
}

QCoro::Task<> AppModel::enableWhileBusy()
{
    QPointer self(this);
    setBusy(true);
    co_await m_tunnel->enable();
    if (self)
        clearBusyAfterReports();
}

QCoro::Task<> AppModel::toggle()
{
    QPointer self(this);
    setBusy(true);
    if (m_state == ProtectionState::protected_)
        co_await m_tunnel->disable();
    else
        co_await m_tunnel->enable();
    if (self)
        clearBusyAfterReports();
}

QCoro::Task<> AppModel::activate(QString code)
{
    QPointer self(this);
    setBusy(true);
    setMessage(u"Активируем устройство…"_s);
    const ActivationService::Options options = m_environment.activation();
    std::exception_ptr failure;
    try {
        co_await ActivationService::activate(code, options);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        setMessage(describeError(failure));
        setBusy(false);
        co_return;
    }
    setActivated(true);
    setMessage({});
    co_await enableWhileBusy();
}

QCoro::Task<> AppModel::loadAccount(std::shared_ptr<CancellationToken> token)
{
    QPointer self(this);
    setBusy(true);
    setAccountLoaded(false);
    setAccountMessage(accountLoading);
    const AccountSummaryOutcome outcome
        = co_await loadAccountSummary(m_accountClient, m_environment.servers, m_environment.tools, token);
    if (!self)
        co_return;
    if (outcome.summary) {
        setDevice(outcome.summary->device);
        setSubscription(outcome.summary->subscription);
        setUsage(outcome.summary->usage);
        setAccountLoaded(true);
    }
    setAccountMessage(outcome.message);
    setBusy(false);
}

QCoro::Task<> AppModel::loadSettings()
{
    QPointer self(this);
    const quint64 load = ++m_settingsLoads;
    setSettingsLoaded(false);
    try {
        const ProtectionSettings answer = co_await m_tunnel->settings();
        if (self) {
            // The user's pending edits stay what the screen shows and what a save sends.
            const bool edited = hasPendingSettingsEdits();
            m_serverSettings = answer;
            if (!edited)
                setSettings(answer);
            setMessage({});
            setSettingsLoaded(load == m_settingsLoads);
        }
    } catch (...) {
        if (self)
            setMessage(describeError(std::current_exception()));
    }
}

QCoro::Task<> AppModel::saveSettings()
{
    QPointer self(this);
    const ProtectionSettings sent = m_settings;
    QString outcome = u"Настройки сохранены."_s;
    try {
        co_await m_tunnel->save(sent);
        if (self)
            m_serverSettings = sent;
    } catch (...) {
        outcome = describeError(std::current_exception());
    }
    if (self)
        setMessage(outcome);
}

QCoro::Task<> AppModel::purgeMap()
{
    QPointer self(this);
    QString outcome = u"Карта замен удалена."_s;
    try {
        co_await m_tunnel->purgeMap();
    } catch (...) {
        outcome = describeError(std::current_exception());
    }
    if (self)
        setMessage(outcome);
}

QCoro::Task<> AppModel::loadSessions()
{
    QPointer self(this);
    QList<ProtectedSession> sessions;
    QString failure;
    try {
        sessions = co_await m_tunnel->sessions();
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    if (self)
        setSessions(failure.isNull() ? sessions : QList<ProtectedSession>(), failure);
}

QCoro::Task<> AppModel::changeSession(QString action, QString id, std::optional<QString> title)
{
    QPointer self(this);
    co_await m_tunnel->sessionCommand(std::move(action), std::move(id), std::move(title));
    if (self)
        co_await loadSessions();
}

QCoro::Task<> AppModel::checkUpdates()
{
    return m_updates->check();
}

QCoro::Task<> AppModel::installUpdate(MacReleaseManifest manifest)
{
    return m_updates->install(std::move(manifest));
}

QCoro::Task<ProtectedSessionDetail> AppModel::revealSession(QString id)
{
    return m_tunnel->session(std::move(id));
}

QCoro::Task<bool> AppModel::switchOff()
{
    QPointer self(this);
    const bool off = co_await m_tunnel->disable();
    if (!self)
        co_return false;
    if (off)
        co_return true;
    setSection(MainSection::protection);
    m_showWindow();
    co_return false;
}

QCoro::Task<> AppModel::quit()
{
    return m_updates->quit();
}

} // namespace Vetron
