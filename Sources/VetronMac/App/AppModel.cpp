#include "App/AppModel.h"

#include "Account/AccountErrors.h"
#include "Account/ActivationService.h"
#include "Account/DeviceCredentialMigration.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/ClientPaths.h"
#include "Platform/ApplicationVersion.h"
#include "Views/ShieldLook.h"

#include <QCoreApplication>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString accountLoading = u"Получаем информацию по ключу этого Mac…"_s;
const QString accountUnavailable = u"Не удалось автоматически получить сведения о подписке. Защита продолжает работать — "
                                   u"повторно вводить ключ не нужно."_s;
const QString accountStale
    = u"Привязка этого Mac устарела. Защита продолжает работать — повторно вводить ключ не нужно."_s;
const QString quitAfterInstallation
    = u"Ветрон нельзя закрыть, пока устанавливается обновление: после установки он перезапустится сам."_s;
const QString relaunchHeldBack = u"Обновление установлено, но Ветрон не перезапущен: не удалось выключить защиту. "
                                 u"Закройте Ветрон и откройте его снова."_s;

} // namespace

QString defaultDetail(ProtectionState state)
{
    // The state's title, as the shield pictures and the protection screen name it.
    return ShieldLook::of(state).label;
}

AppModel::AppModel(bool autoConnect, Options options, QObject *parent)
    : QObject(parent)
    , tunnel(new TunnelService(
          [self = QPointer(this)](ProtectionState state, const QString &detail) {
              if (self)
                  self->receiveReport(state, detail);
          },
          options.tunnel, this))
    , accountClient(new PortalAccountClient(options.servers, this))
    , m_detail(defaultDetail(ProtectionState::disabled))
    , m_activated(ClientPaths::hasCompleteActivation(ClientPaths::root()))
    , m_servers(options.servers)
    , m_tools(options.tools)
    , m_pinnedHostKey(options.pinnedHostKey)
    , m_terminate(options.terminate ? std::move(options.terminate) : []() { QCoreApplication::quit(); })
    , m_showWindow(options.showWindow ? std::move(options.showWindow) : []() {})
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
    if (!autoConnect)
        return;
    WakeNotifier *wake = options.wake;
    if (!wake) {
        wake = new WakeNotifier(this);
        wake->subscribeToSystem();
    }
    QObject::connect(wake, &WakeNotifier::systemDidWake, this, [self = QPointer(this)]() {
        if (self)
            self->tunnel->systemDidWake();
    });
    // Started from the event loop, so that its busy change is seen like any other.
    if (m_activated) {
        QMetaObject::invokeMethod(
            this, [this]() { enableWhileBusy(); }, Qt::QueuedConnection);
    }
}

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
    m_detail = detail.isNull() ? defaultDetail(state) : detail;
    Q_EMIT detailChanged();
}

bool AppModel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && holdQuitForInstallation()) {
        event->ignore(); // the platform's quit is cancelled too
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AppModel::setSection(MainSection section)
{
    if (section == m_section)
        return;
    m_section = section;
    Q_EMIT sectionChanged();
}

void AppModel::setSectionForViews(MainSectionForViews::Value section)
{
    if (section >= MainSectionForViews::Protection && section <= MainSectionForViews::Settings)
        setSection(fromViews(section));
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

OperationTask *AppModel::startInstallUpdate(const QVariant &manifest)
{
    std::optional<MacReleaseManifest> offered;
    if (manifest.metaType() == QMetaType::fromType<MacReleaseManifest>())
        offered = manifest.value<MacReleaseManifest>();
    return start([this, offered](auto) -> QCoro::Task<> {
        if (offered)
            co_await installUpdate(*offered);
    });
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

void AppModel::setSelectedSessionValue(const QVariant &session)
{
    if (session.metaType() == QMetaType::fromType<ProtectedSession>())
        setSelectedSession(session.value<ProtectedSession>());
    else
        setSelectedSession(std::nullopt);
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

void AppModel::setUpdateState(UpdateScreenState state)
{
    m_updateState = std::move(state);
    Q_EMIT updateStateChanged();
}

void AppModel::setSessions(QList<ProtectedSession> sessions, QString message)
{
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
    m_sessionsMessage = std::move(message);
    Q_EMIT sessionsMessageChanged();
}

QVariantList AppModel::sessionsList() const
{
    QVariantList list;
    for (const ProtectedSession &session : m_sessions)
        list.append(QVariant::fromValue(session));
    return list;
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
    return ServerAddresses::withPath(m_servers.portalBase, u"app"_s);
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
    co_await tunnel->enable();
    if (self)
        clearBusyAfterReports();
}

QCoro::Task<> AppModel::toggle()
{
    QPointer self(this);
    setBusy(true);
    if (m_state == ProtectionState::protected_)
        co_await tunnel->disable();
    else
        co_await tunnel->enable();
    if (self)
        clearBusyAfterReports();
}

QCoro::Task<> AppModel::activate(QString code)
{
    QPointer self(this);
    setBusy(true);
    setMessage(u"Активируем устройство…"_s);
    ActivationService::Options options;
    options.servers = m_servers;
    options.tools = m_tools;
    if (!m_pinnedHostKey.isEmpty())
        options.pinnedHostKey = m_pinnedHostKey;
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

QCoro::Task<> AppModel::applySummary(std::shared_ptr<CancellationToken> token)
{
    QPointer self(this);
    const DeviceSummary summary = co_await accountClient->summary();
    if (!self)
        co_return;
    throwIfCancelled(token);
    setDevice(summary.device);
    setSubscription(summary.subscription);
    setUsage(summary.usage);
    setAccountLoaded(true);
    setAccountMessage({});
}

QCoro::Task<> AppModel::loadAccount(std::shared_ptr<CancellationToken> token)
{
    QPointer self(this);
    const ServerAddresses servers = m_servers;
    const ToolPaths tools = m_tools;
    setBusy(true);
    setAccountLoaded(false);
    setAccountMessage(accountLoading);

    const auto finish = [&self](const QString &message) {
        if (!self)
            return;
        if (!message.isNull())
            self->setAccountMessage(message);
        self->setBusy(false);
    };
    // A cancelled load stops at its next step and applies nothing more.
    const auto stopped = [&self, &token, &finish]() {
        if (token->isCancelled())
            finish(CancelledError().description());
        return !self || token->isCancelled();
    };

    const bool migrated = co_await DeviceCredentialMigration::migrateIfNeeded(servers, tools);
    if (stopped())
        co_return;
    if (!migrated) {
        finish(accountUnavailable);
        co_return;
    }
    std::exception_ptr failure;
    try {
        co_await applySummary(token);
        finish({});
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (errorCase<AccountError>(failure) != AccountError::Case::credentialExpired) {
        finish(describeError(failure));
        co_return;
    }

    // The stored credential is stale: one new claim, one more try.
    if (stopped())
        co_return;
    co_await DeviceCredentialStore::remove();
    const bool claimed = co_await DeviceCredentialMigration::migrateIfNeeded(servers, tools);
    if (stopped())
        co_return;
    if (!claimed) {
        finish(accountStale);
        co_return;
    }
    QString outcome;
    try {
        co_await applySummary(token);
    } catch (...) {
        outcome = describeError(std::current_exception());
    }
    finish(outcome);
}

QCoro::Task<> AppModel::loadSettings()
{
    QPointer self(this);
    const quint64 load = ++m_settingsLoads;
    setSettingsLoaded(false);
    try {
        const ProtectionSettings answer = co_await tunnel->settings();
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
        co_await tunnel->save(sent);
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
        co_await tunnel->purgeMap();
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
        sessions = co_await tunnel->sessions();
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    if (self)
        setSessions(failure.isNull() ? sessions : QList<ProtectedSession>(), failure);
}

QCoro::Task<> AppModel::changeSession(QString action, QString id, std::optional<QString> title)
{
    QPointer self(this);
    co_await tunnel->sessionCommand(std::move(action), std::move(id), std::move(title));
    if (self)
        co_await loadSessions();
}

UpdateService::Options AppModel::updateOptions() const
{
    UpdateService::Options options;
    options.servers = m_servers;
    options.tools = m_tools;
    return options;
}

QCoro::Task<> AppModel::checkUpdates()
{
    if (m_installing)
        co_return;
    QPointer self(this);
    setUpdateState(UpdateScreenState::of(UpdateScreenState::Kind::checking));
    const UpdateScreenState result = co_await UpdateService::check(currentVersion(), updateOptions());
    // The answer replaces only its own progress: not an installation begun meanwhile, nor how one ended.
    if (self && m_updateState.kind == UpdateScreenState::Kind::checking)
        setUpdateState(result);
}

QCoro::Task<> AppModel::installUpdate(MacReleaseManifest manifest)
{
    if (m_installing)
        co_return;
    QPointer self(this);
    m_installing = true;
    setUpdateState(UpdateScreenState::withManifest(UpdateScreenState::Kind::downloading, manifest));
    const ToolPaths tools = m_tools;
    const UpdateInstallOutcome outcome = co_await UpdateService::install(manifest, updateOptions());
    if (!self)
        co_return;
    if (outcome.kind == UpdateInstallOutcome::Kind::failed) {
        m_installing = false;
        setUpdateState(UpdateScreenState::failed(outcome.message));
        co_return;
    }
    // The user's proxies come back before the process ends; while they cannot, it does not end.
    const bool off = co_await switchOff();
    if (!self)
        co_return;
    m_installing = false; // the installer is done: the quit below is not held back
    if (!off) {
        setUpdateState(UpdateScreenState::failed(relaunchHeldBack));
        co_return;
    }
    UpdateService::scheduleRelaunch(outcome.bundlePath, tools);
    m_terminate();
}

QCoro::Task<bool> AppModel::switchOff()
{
    QPointer self(this);
    const bool off = co_await tunnel->disable();
    if (!self)
        co_return false;
    if (off)
        co_return true;
    setSection(MainSection::protection);
    m_showWindow();
    co_return false;
}

bool AppModel::holdQuitForInstallation()
{
    if (!m_installing)
        return false;
    UpdateScreenState noted = m_updateState;
    noted.message = quitAfterInstallation;
    setUpdateState(noted);
    setSection(MainSection::updates);
    m_showWindow();
    return true;
}

QCoro::Task<> AppModel::quit()
{
    if (holdQuitForInstallation())
        co_return;
    // False as well when the model went away meanwhile.
    const bool off = co_await switchOff();
    if (off)
        m_terminate();
}

} // namespace Vetron
