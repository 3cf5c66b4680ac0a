// Stand-in for macOS networksetup: the proxy commands of the real tool, on the network services
// described in <state>/networksetup.json. Every call is logged to <state>/networksetup.log as a JSON
// array of its arguments; options listed in <state>/networksetup.fail fail on purpose.

#include "StandInState.h"

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int usageExitCode = 1;
constexpr int simulatedFailureExitCode = 1;
constexpr int invalidParametersExitCode = 4;

const QString invalidParameters = u"** Error: The parameters were not valid.\n"_s;

enum class Proxy { Web, Secure };

QString proxyKey(Proxy proxy)
{
    return proxy == Proxy::Web ? u"web"_s : u"secure"_s;
}

// Runs on the object of the service named by the first argument and may change it; gets the
// arguments after the service name and returns the exit code.
using ServiceAction = std::function<int(QJsonObject &service, const QStringList &values)>;

struct Command
{
    QString option;
    QString synopsis;
    qsizetype minimumArguments;
    qsizetype maximumArguments;
    ServiceAction action; // empty for the one command that is about no particular service
};

int printProxy(Proxy proxy, const QJsonObject &service)
{
    const QJsonObject settings = service.value(proxyKey(proxy)).toObject();
    printOut(u"Enabled: %1\nServer: %2\nPort: %3\nAuthenticated Proxy Enabled: 0\n"_s.arg(
        settings.value(u"enabled"_s).toBool() ? u"Yes"_s : u"No"_s, settings.value(u"server"_s).toString(),
        QString::number(settings.value(u"port"_s).toInt())));
    return 0;
}

std::optional<int> parsePort(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    return port <= 65535 ? std::optional(port) : std::nullopt;
}

int setProxy(Proxy proxy, QJsonObject &service, const QStringList &values)
{
    const std::optional<int> port = parsePort(values.at(1));
    if (!port) {
        printError(u"%1 is not a valid port number.\n"_s.arg(values.at(1)) + invalidParameters);
        return invalidParametersExitCode;
    }
    QJsonObject settings = service.value(proxyKey(proxy)).toObject();
    settings.insert(u"server"_s, values.at(0));
    settings.insert(u"port"_s, *port);
    // Like the real tool: giving a server switches the proxy on.
    settings.insert(u"enabled"_s, true);
    service.insert(proxyKey(proxy), settings);
    return 0;
}

int setProxyState(Proxy proxy, QJsonObject &service, const QStringList &values)
{
    const QString state = values.at(0).toLower();
    if (state != u"on"_s && state != u"off"_s) {
        printError(u"%1 is neither on nor off.\n"_s.arg(values.at(0)) + invalidParameters);
        return invalidParametersExitCode;
    }
    QJsonObject settings = service.value(proxyKey(proxy)).toObject();
    settings.insert(u"enabled"_s, state == u"on"_s);
    service.insert(proxyKey(proxy), settings);
    return 0;
}

int printBypassDomains(const QJsonObject &service)
{
    const QJsonArray domains = service.value(u"bypass"_s).toArray();
    if (domains.isEmpty())
        printOut(u"There aren't any bypass domains set on %1.\n"_s.arg(service.value(u"name"_s).toString()));
    for (const QJsonValue &domain : domains)
        printOut(domain.toString() + u'\n');
    return 0;
}

int setBypassDomains(QJsonObject &service, const QStringList &values)
{
    const QStringList domains = values == QStringList { u"Empty"_s } ? QStringList() : values;
    service.insert(u"bypass"_s, QJsonArray::fromStringList(domains));
    return 0;
}

QList<Command> commands()
{
    const QString service = u"<networkservice>"_s;
    const QString server = service + u" <domain> <port number>"_s;
    const QString state = service + u" <on off>"_s;
    return {
        { u"-listallnetworkservices"_s, QString(), 0, 0, {} },
        { u"-getwebproxy"_s, service, 1, 1,
            [](QJsonObject &s, const QStringList &) { return printProxy(Proxy::Web, s); } },
        { u"-getsecurewebproxy"_s, service, 1, 1,
            [](QJsonObject &s, const QStringList &) { return printProxy(Proxy::Secure, s); } },
        { u"-setwebproxy"_s, server, 3, 3,
            [](QJsonObject &s, const QStringList &v) { return setProxy(Proxy::Web, s, v); } },
        { u"-setsecurewebproxy"_s, server, 3, 3,
            [](QJsonObject &s, const QStringList &v) { return setProxy(Proxy::Secure, s, v); } },
        { u"-setwebproxystate"_s, state, 2, 2,
            [](QJsonObject &s, const QStringList &v) { return setProxyState(Proxy::Web, s, v); } },
        { u"-setsecurewebproxystate"_s, state, 2, 2,
            [](QJsonObject &s, const QStringList &v) { return setProxyState(Proxy::Secure, s, v); } },
        { u"-getproxybypassdomains"_s, service, 1, 1,
            [](QJsonObject &s, const QStringList &) { return printBypassDomains(s); } },
        // No upper limit on the number of domains.
        { u"-setproxybypassdomains"_s, service + u" <domain1> [domain2] [...]"_s, 2, -1, setBypassDomains },
    };
}

QString usageLine(const Command &command)
{
    return (u"Usage: networksetup "_s + command.option + u' ' + command.synopsis).trimmed() + u'\n';
}

int printUsage(const QList<Command> &known)
{
    QString text;
    for (const Command &command : known)
        text += usageLine(command);
    printError(text);
    return usageExitCode;
}

int listServices(const QJsonArray &services)
{
    printOut(u"An asterisk (*) denotes that a network service is disabled.\n"_s);
    for (const QJsonValue &value : services) {
        const QJsonObject service = value.toObject();
        const bool enabled = service.value(u"enabled"_s).toBool(true);
        printOut((enabled ? QString() : u"*"_s) + service.value(u"name"_s).toString() + u'\n');
    }
    return 0;
}

qsizetype indexOfService(const QJsonArray &services, const QString &name)
{
    for (qsizetype i = 0; i < services.size(); ++i) {
        if (services.at(i).toObject().value(u"name"_s).toString() == name)
            return i;
    }
    return -1;
}

int run(const QString &stateDirectory, const QStringList &arguments)
{
    if (arguments.isEmpty())
        return printUsage(commands());
    const QString option = arguments.first();
    if (readLines(stateDirectory + u"/networksetup.fail"_s).contains(option)) {
        printError(u"** Error: simulated failure\n"_s);
        return simulatedFailureExitCode;
    }

    const QList<Command> known = commands();
    const auto command
        = std::find_if(known.cbegin(), known.cend(), [&](const Command &c) { return c.option == option; });
    if (command == known.cend())
        return printUsage(known);
    const qsizetype count = arguments.size() - 1;
    if (count < command->minimumArguments
        || (command->maximumArguments >= 0 && count > command->maximumArguments)) {
        printError(usageLine(*command));
        return usageExitCode;
    }

    const QString statePath = stateDirectory + u"/networksetup.json"_s;
    const StateLock lock(stateDirectory + u"/networksetup.lock"_s);
    std::optional<QJsonObject> state = readJsonObject(statePath);
    if (!state)
        return brokenStateExitCode;
    QJsonArray services = state->value(u"services"_s).toArray();
    if (!command->action)
        return listServices(services);

    const QString name = arguments.at(1);
    const qsizetype index = indexOfService(services, name);
    if (index < 0) {
        printError(u"%1 is not a recognized network service.\n"_s.arg(name) + invalidParameters);
        return invalidParametersExitCode;
    }
    const QJsonObject original = services.at(index).toObject();
    QJsonObject service = original;
    const int exitCode = command->action(service, arguments.sliced(2));
    if (service != original) {
        services.replace(index, service);
        state->insert(u"services"_s, services);
        if (!writeJsonObject(statePath, *state))
            return brokenStateExitCode;
    }
    return exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"networksetup"_s, run);
}
