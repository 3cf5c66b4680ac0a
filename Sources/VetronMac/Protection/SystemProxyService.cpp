#include "Protection/SystemProxyService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/ProcessRunner.h"
#include "Protection/NetworksetupOutput.h"
#include "Protection/ScriptQuoting.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString loopback = u"127.0.0.1"_s;

QString decoded(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// The port the ownership file names, or an empty text when it cannot be read.
QString ownedPort()
{
    QFile file(ClientPaths::proxyOwned());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool pointsAt(const ProxyEndpoint &endpoint, quint16 port)
{
    return endpoint.enabled && endpoint.server == loopback && endpoint.port == port;
}

} // namespace

ProxyError::ProxyError(Case which)
    : Error(which == Case::noNetworkServices ? u"Не найдены сетевые подключения macOS."_s
                                             : u"Не удалось восстановить предыдущие настройки прокси."_s)
    , m_case(which)
{
}

SystemProxyService::SystemProxyService(ToolPaths tools, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
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

    const bool owned = ownedPort() == QString::number(port);
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
        const QString quoted = shellQuoted(service);
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
    const QString owned = ClientPaths::proxyOwned();
    const QString backupPath = ClientPaths::proxyBackup();
    if (!QFileInfo::exists(owned) && !QFileInfo::exists(backupPath))
        co_return;

    QList<ServiceProxyBackup> backup;
    try {
        QFile file(backupPath);
        if (!file.open(QIODevice::ReadOnly))
            throw ProxyError(ProxyError::Case::backupMissing);
        backup = decodeJsonList<ServiceProxyBackup>(file.readAll());
    } catch (const DecodingError &) {
        throw ProxyError(ProxyError::Case::backupMissing);
    }

    QStringList lines { u"set -e"_s };
    for (const ServiceProxyBackup &saved : std::as_const(backup)) {
        const QString quoted = shellQuoted(saved.name);
        lines << restoreCommands(quoted, saved.web, false) << restoreCommands(quoted, saved.secure, true);
        QStringList domains;
        for (const QString &domain : saved.bypass)
            domains << shellQuoted(domain);
        lines << networksetupLine(u"-setproxybypassdomains"_s,
                                  quoted + u' ' + (domains.isEmpty() ? u"Empty"_s : domains.join(u' ')));
    }
    co_await privileged(lines.join(u"; "_s));

    // The script has run: the files go even if the service itself is gone meanwhile.
    QFile::remove(owned);
    QFile::remove(backupPath);
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
    const QStringList arguments { u"-listallnetworkservices"_s };
    const ProcessOutput output = co_await ProcessRunner::run(m_tools.networksetup, arguments);
    co_return NetworksetupOutput::serviceNames(decoded(output.standardOutput));
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
    const QStringList arguments { u"-e"_s, appleScriptFor(script) };
    co_await ProcessRunner::run(m_tools.osascript, arguments);
}

QHash<QString, QString> SystemProxyService::dictionary(QStringView text)
{
    return NetworksetupOutput::dictionary(text);
}

QString SystemProxyService::shellQuoted(const QString &text)
{
    return ScriptQuoting::shellQuoted(text);
}

QStringList SystemProxyService::restoreCommands(const QString &quotedService, const ProxyEndpoint &endpoint,
                                                bool secure) const
{
    const QString proxyOption = secure ? u"-setsecurewebproxy"_s : u"-setwebproxy"_s;
    const QString stateOption = secure ? u"-setsecurewebproxystate"_s : u"-setwebproxystate"_s;
    const bool hasServer = !endpoint.server.isEmpty() && endpoint.port >= 1;
    QStringList lines;
    if (hasServer) {
        lines << networksetupLine(proxyOption, quotedService + u' ' + shellQuoted(endpoint.server) + u' '
                                                   + QString::number(endpoint.port));
    }
    lines << networksetupLine(stateOption, quotedService + (endpoint.enabled && hasServer ? u" on"_s : u" off"_s));
    return lines;
}

QString SystemProxyService::appleScriptFor(const QString &script)
{
    return ScriptQuoting::appleScriptFor(script);
}

QString SystemProxyService::networksetupLine(const QString &option, const QString &arguments) const
{
    return m_tools.networksetup + u' ' + option + u' ' + arguments;
}

} // namespace Vetron
