#include "App/AppModel.h"

#include "Account/ActivationService.h"
#include "App/SettingsEdits.h"
#include "App/UpdateFlow.h"
#include "Foundation/ClientPaths.h"
#include "Platform/ApplicationVersion.h"
#include "Protection/TunnelService.h"
#include "Protection/TunnelStateTexts.h"

#include <QCoreApplication>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace Vetron {
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
    , m_records(new AccountAndSessions(m_environment, m_tunnel, this))
    , m_settingsEdits(new SettingsEdits(m_tunnel, this))
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
    connect(m_settingsEdits, &SettingsEdits::settingsChanged, this, &AppModel::settingsChanged);
    connect(m_settingsEdits, &SettingsEdits::loadedChanged, this, &AppModel::settingsLoadedChanged);
    connect(m_records, &AccountAndSessions::deviceChanged, this, &AppModel::deviceChanged);
    connect(m_records, &AccountAndSessions::subscriptionChanged, this, &AppModel::subscriptionChanged);
    connect(m_records, &AccountAndSessions::usageChanged, this, &AppModel::usageChanged);
    connect(m_records, &AccountAndSessions::accountLoadedChanged, this, &AppModel::accountLoadedChanged);
    connect(m_records, &AccountAndSessions::accountMessageChanged, this, &AppModel::accountMessageChanged);
    connect(m_records, &AccountAndSessions::sessionsChanged, this, &AppModel::sessionsChanged);
    connect(m_records, &AccountAndSessions::sessionsMessageChanged, this, &AppModel::sessionsMessageChanged);
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
            this, [this]() { switchProtectionOn(); }, Qt::QueuedConnection);
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
    // Both first: whoever hears of the state reads the detail that came with it.
    m_state = state;
    m_detail = detail.isNull() ? TunnelStateTexts::defaultDetail(state) : detail;
    Q_EMIT stateChanged();
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

OperationTask *AppModel::startSwitchProtectionOff()
{
    return start([this](auto) { return switchProtectionOff(); });
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

const ProtectionSettings &AppModel::settings() const
{
    return m_settingsEdits->settings();
}

void AppModel::setSettings(ProtectionSettings settings)
{
    m_settingsEdits->setSettings(std::move(settings));
}

bool AppModel::settingsLoaded() const
{
    return m_settingsEdits->loaded();
}

void AppModel::setLoadedSettings(ProtectionSettings settings)
{
    m_settingsEdits->setLoadedSettings(std::move(settings));
}

void AppModel::revertSettings()
{
    m_settingsEdits->revert();
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

const UpdateScreenState &AppModel::updateState() const
{
    return m_updates->state();
}

void AppModel::setUpdateState(UpdateScreenState state)
{
    m_updates->setState(std::move(state));
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

QCoro::Task<> AppModel::switchProtectionOn()
{
    QPointer self(this);
    setBusy(true);
    co_await m_tunnel->enable();
    if (self)
        clearBusyAfterReports();
}

QCoro::Task<> AppModel::toggle()
{
    return m_state == ProtectionState::protected_ ? switchProtectionOff() : switchProtectionOn();
}

QCoro::Task<> AppModel::switchProtectionOff()
{
    QPointer self(this);
    setBusy(true);
    co_await m_tunnel->disable();
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
    co_await switchProtectionOn();
}

QCoro::Task<> AppModel::loadAccount(std::shared_ptr<CancellationToken> token)
{
    QPointer self(this);
    setBusy(true);
    co_await m_records->loadAccount(std::move(token));
    if (self)
        setBusy(false);
}

QCoro::Task<> AppModel::loadSettings()
{
    QPointer self(this);
    const QString outcome = co_await m_settingsEdits->load();
    if (self)
        setMessage(outcome);
}

QCoro::Task<> AppModel::saveSettings()
{
    QPointer self(this);
    const QString outcome = co_await m_settingsEdits->save();
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

QCoro::Task<> AppModel::checkUpdates()
{
    return m_updates->check();
}

QCoro::Task<> AppModel::installUpdate(MacReleaseManifest manifest)
{
    return m_updates->install(std::move(manifest));
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
