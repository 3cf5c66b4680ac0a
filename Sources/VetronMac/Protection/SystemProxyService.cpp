#include "Protection/SystemProxyService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/ScriptQuoting.h"
#include "Platform/SystemLog.h"
#include "Protection/NetworksetupOutput.h"
#include "Protection/ProxyOwnership.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString loopback = u"127.0.0.1"_s;

QString decoded(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// The saved settings, or nothing when the file is missing, unreadable or does not decode.
std::optional<QList<ServiceProxyBackup>> readBackup()
{
    QFile file(ClientPaths::proxyBackup());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return decodeJsonList<ServiceProxyBackup>(file.readAll());
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

bool pointsAt(const ProxyEndpoint &endpoint, quint16 port)
{
    return endpoint.enabled && endpoint.server == loopback && endpoint.port == port;
}

} // namespace

QString describe(ProxyErrorCase which)
{
    switch (which) {
    case ProxyErrorCase::noNetworkServices:
        return u"Не найдены сетевые подключения macOS."_s;
    case ProxyErrorCase::backupMissing:
        return u"Не удалось восстановить предыдущие настройки прокси."_s;
    }
    return {};
}

SystemProxyService::SystemProxyService(ToolPaths tools, QObject *parent, LogFunction log)
    : SystemProxy(parent)
    , m_tools(std::move(tools))
    , m_log(log ? std::move(log) : Platform::writeSystemLog)
{
}

SystemProxyService::~SystemProxyService()
{
    m_alive->cancel();
}

QCoro::Task<std::shared_ptr<CancellationToken>> SystemProxyService::takeTurn()
{
    const auto alive = m_alive;
    const std::shared_ptr<CancellationToken> previous = m_lastTurn;
    auto mine = CancellationToken::create();
    m_lastTurn = mine;
    // The wait ends when the earlier operation cancels its flag; the duration is only a bound
    // for one round of waiting.
    while (previous && !previous->isCancelled())
        co_await sleepUnlessCancelled(previous, std::chrono::hours(1));
    if (alive->isCancelled()) {
        mine->cancel();
        throw CancelledError();
    }
    co_return mine;
}

QCoro::Task<> SystemProxyService::enable(quint16 port)
{
    const auto turn = co_await takeTurn();
    const auto done = qScopeGuard([turn]() { turn->cancel(); });
    co_await switchOn(port);
}

QCoro::Task<> SystemProxyService::restore()
{
    const auto turn = co_await takeTurn();
    const auto done = qScopeGuard([turn]() { turn->cancel(); });
    co_await putBack();
}

QCoro::Task<> SystemProxyService::switchOn(quint16 port)
{
    const auto alive = m_alive;
    ClientPaths::prepare();

    const QStringList services = co_await networkServices();
    throwIfCancelled(alive);
    if (services.isEmpty())
        throw ProxyError(ProxyError::Case::noNetworkServices);

    const bool owned = ownershipPort(ClientPaths::proxyOwned()) == QString::number(port);
    const bool firstSwitch
        = !QFileInfo::exists(ClientPaths::proxyOwned()) && !QFileInfo::exists(ClientPaths::proxyBackup());
    if (owned || firstSwitch) {
        const QList<ServiceProxyBackup> current = co_await readServices(services, firstSwitch);
        throwIfCancelled(alive);
        if (owned) {
            const bool allSwitched
                = std::all_of(current.begin(), current.end(), [port](const ServiceProxyBackup &read) {
                      return pointsAt(read.web, port) && pointsAt(read.secure, port);
                  });
            if (allSwitched)
                co_return;
        } else {
            // An endpoint already on our own address and port is a leftover of an earlier run
            // whose files were lost, not the user's setting: restoring it would leave a dead
            // proxy behind.
            const auto usersOwn = [port](const ProxyEndpoint &endpoint) {
                return pointsAt(endpoint, port) ? ProxyEndpoint {} : endpoint;
            };
            QList<ServiceProxyBackup> backup = current;
            for (ServiceProxyBackup &saved : backup) {
                saved.web = usersOwn(saved.web);
                saved.secure = usersOwn(saved.secure);
            }
            AtomicFile::write(ClientPaths::proxyBackup(), encodeJsonList(backup), AtomicFile::ownerOnly);
        }
    }

    const QString target = loopback + u' ' + QString::number(port);
    QStringList lines { u"set -e"_s };
    for (const QString &service : services) {
        const QString quoted = ScriptQuoting::shellQuoted(service);
        lines << networksetupLine(u"-setwebproxy"_s, quoted + u' ' + target)
              << networksetupLine(u"-setsecurewebproxy"_s, quoted + u' ' + target)
              << networksetupLine(u"-setwebproxystate"_s, quoted + u" on"_s)
              << networksetupLine(u"-setsecurewebproxystate"_s, quoted + u" on"_s);
    }
    co_await privileged(lines.join(u"; "_s));
    throwIfCancelled(alive);

    AtomicFile::write(ClientPaths::proxyOwned(), QString::number(port).toUtf8(), AtomicFile::ownerOnly);
}

QCoro::Task<> SystemProxyService::putBack()
{
    const auto alive = m_alive;
    const LogFunction log = m_log;
    if (!QFileInfo::exists(ClientPaths::proxyOwned()) && !QFileInfo::exists(ClientPaths::proxyBackup()))
        co_return;

    // A switch-off must be able to succeed even when the backup is lost or names services that
    // are gone: otherwise the proxies stay on a dead local port for good.
    const std::optional<QList<ServiceProxyBackup>> backup = readBackup();
    Restoration restoration;
    if (backup)
        restoration = co_await savedSettingsBack(*backup);
    else
        restoration = co_await proxiesOffWithoutBackup(ourProxyPort(ClientPaths::proxyOwned()));
    throwIfCancelled(alive);
    if (!restoration.commands.isEmpty()) {
        const QStringList lines = QStringList { u"set -e"_s } + restoration.commands;
        co_await privileged(lines.join(u"; "_s));
    }

    // The script has run: the files go even if the service itself is gone meanwhile.
    QFile::remove(ClientPaths::proxyOwned());
    QFile::remove(ClientPaths::proxyBackup());
    if (!restoration.note.isEmpty())
        log(u"Ветрон: "_s + restoration.note);
}

QCoro::Task<SystemProxyService::Restoration> SystemProxyService::savedSettingsBack(
    QList<ServiceProxyBackup> backup)
{
    const auto alive = m_alive;
    // A disabled service still exists and gets its settings back; one the system no longer
    // lists would make networksetup stop the whole script.
    const QString listed = co_await listing();
    throwIfCancelled(alive);
    const QStringList existing = NetworksetupOutput::existingServiceNames(listed);

    Restoration restoration;
    QStringList gone;
    for (const ServiceProxyBackup &saved : std::as_const(backup)) {
        if (!existing.contains(saved.name)) {
            gone << saved.name;
            continue;
        }
        const QString quoted = ScriptQuoting::shellQuoted(saved.name);
        restoration.commands << restoreCommands(quoted, saved.web, false)
                             << restoreCommands(quoted, saved.secure, true);
        QStringList domains;
        for (const QString &domain : saved.bypass)
            domains << ScriptQuoting::shellQuoted(domain);
        const QString bypass = domains.isEmpty() ? u"Empty"_s : domains.join(u' ');
        restoration.commands << networksetupLine(u"-setproxybypassdomains"_s, quoted + u' ' + bypass);
    }
    QStringList notes;
    if (!gone.isEmpty())
        notes << u"настройки прокси не восстановлены для сетевых служб, которых больше нет: "_s
                + gone.join(u", "_s);

    // A service that came after the backup was taken has nothing saved to go back to; left as
    // it is, it would keep pointing at a local port where nothing listens any more.
    QStringList unsaved = NetworksetupOutput::serviceNames(listed);
    unsaved.removeIf([&backup](const QString &name) {
        return std::any_of(
            backup.cbegin(), backup.cend(), [&name](const auto &saved) { return saved.name == name; });
    });
    const std::optional<quint16> port
        = unsaved.isEmpty() ? std::nullopt : ourProxyPort(ClientPaths::proxyOwned());
    if (port) {
        const OursOff off = co_await ourProxiesOff(unsaved, *port);
        throwIfCancelled(alive);
        restoration.commands << off.commands;
        if (!off.services.isEmpty())
            notes << u"прокси "_s + loopback + u':' + QString::number(*port)
                    + u" выключены для сетевых служб без сохранённых настроек: "_s
                    + off.services.join(u", "_s);
    }
    restoration.note = notes.join(u"; "_s);
    co_return restoration;
}

QCoro::Task<SystemProxyService::OursOff> SystemProxyService::ourProxiesOff(QStringList services, quint16 port)
{
    const QList<ServiceProxyBackup> current = co_await readServices(services, false);
    // Only what points at our own address and port is ours to switch off; a proxy anywhere
    // else is the user's.
    OursOff off;
    for (const ServiceProxyBackup &service : current) {
        const QString quoted = ScriptQuoting::shellQuoted(service.name);
        if (pointsAt(service.web, port))
            off.commands << networksetupLine(u"-setwebproxystate"_s, quoted + u" off"_s);
        if (pointsAt(service.secure, port))
            off.commands << networksetupLine(u"-setsecurewebproxystate"_s, quoted + u" off"_s);
        if (pointsAt(service.web, port) || pointsAt(service.secure, port))
            off.services << service.name;
    }
    co_return off;
}

QCoro::Task<SystemProxyService::Restoration> SystemProxyService::proxiesOffWithoutBackup(
    std::optional<quint16> port)
{
    Restoration restoration;
    if (!port) {
        restoration.note = u"сохранённые настройки прокси не прочитаны, а порт защиты неизвестен; "
                           u"настройки прокси не изменены"_s;
        co_return restoration;
    }

    const auto alive = m_alive;
    const QStringList services = co_await networkServices();
    throwIfCancelled(alive);
    const OursOff off = co_await ourProxiesOff(services, *port);
    throwIfCancelled(alive);
    restoration.commands = off.commands;
    const QString target = loopback + u':' + QString::number(*port);
    restoration.note = off.services.isEmpty()
        ? u"сохранённые настройки прокси не прочитаны; ни одна сетевая служба не указывала на "_s + target
        : u"сохранённые настройки прокси не прочитаны; прокси "_s + target
            + u" выключены для сетевых служб: "_s + off.services.join(u", "_s);
    co_return restoration;
}

QCoro::Task<QList<ServiceProxyBackup>> SystemProxyService::readServices(QStringList services, bool withBypass)
{
    // Every read is a tool run of its own: all of them start at once, then are collected in order.
    std::vector<QCoro::Task<ProxyEndpoint>> endpoints;
    std::vector<QCoro::Task<QStringList>> bypasses;
    for (const QString &service : services) {
        endpoints.push_back(endpoint(service, false));
        endpoints.push_back(endpoint(service, true));
        if (withBypass)
            bypasses.push_back(bypass(service));
    }
    QList<ServiceProxyBackup> read;
    for (qsizetype index = 0; index < services.size(); ++index) {
        ServiceProxyBackup service;
        service.name = services.at(index);
        service.web = co_await std::move(endpoints[size_t(2 * index)]);
        service.secure = co_await std::move(endpoints[size_t(2 * index + 1)]);
        if (withBypass)
            service.bypass = co_await std::move(bypasses[size_t(index)]);
        read.append(service);
    }
    co_return read;
}

QCoro::Task<QStringList> SystemProxyService::networkServices()
{
    const QString listed = co_await listing();
    co_return NetworksetupOutput::serviceNames(listed);
}

QCoro::Task<QString> SystemProxyService::listing()
{
    const QStringList arguments { u"-listallnetworkservices"_s };
    const ProcessOutput output = co_await ProcessRunner::run(m_tools.networksetup, arguments);
    co_return decoded(output.standardOutput);
}

QCoro::Task<ProxyEndpoint> SystemProxyService::endpoint(QString service, bool secure)
{
    const QStringList arguments { secure ? u"-getsecurewebproxy"_s : u"-getwebproxy"_s, service };
    const ProcessOutput output = co_await ProcessRunner::run(m_tools.networksetup, arguments);
    co_return NetworksetupOutput::endpoint(decoded(output.standardOutput));
}

QCoro::Task<QStringList> SystemProxyService::bypass(QString service)
{
    const QStringList arguments { u"-getproxybypassdomains"_s, service };
    const ProcessOutput output = co_await ProcessRunner::run(m_tools.networksetup, arguments);
    co_return NetworksetupOutput::bypassDomains(decoded(output.standardOutput));
}

QCoro::Task<> SystemProxyService::privileged(QString script)
{
    const QStringList arguments { u"-e"_s, ScriptQuoting::appleScriptFor(script) };
    co_await ProcessRunner::run(m_tools.osascript, arguments);
}

QHash<QString, QString> SystemProxyService::dictionary(QStringView text)
{
    return NetworksetupOutput::dictionary(text);
}

QStringList SystemProxyService::restoreCommands(
    const QString &quotedService, const ProxyEndpoint &endpoint, bool secure) const
{
    const QString proxyOption = secure ? u"-setsecurewebproxy"_s : u"-setwebproxy"_s;
    const QString stateOption = secure ? u"-setsecurewebproxystate"_s : u"-setwebproxystate"_s;
    const bool hasServer = !endpoint.server.isEmpty() && endpoint.port >= 1;
    QStringList lines;
    if (hasServer) {
        lines << networksetupLine(proxyOption,
            quotedService + u' ' + ScriptQuoting::shellQuoted(endpoint.server) + u' '
                + QString::number(endpoint.port));
    }
    lines << networksetupLine(
        stateOption, quotedService + (endpoint.enabled && hasServer ? u" on"_s : u" off"_s));
    return lines;
}

QString SystemProxyService::networksetupLine(const QString &option, const QString &arguments) const
{
    return m_tools.networksetup + u' ' + option + u' ' + arguments;
}

} // namespace Vetron
