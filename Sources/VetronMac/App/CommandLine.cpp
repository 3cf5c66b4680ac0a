#include "App/CommandLine.h"

#include "App/SingleInstance.h"
#include "BuildConstants.h"

#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Vetron::CommandLine {

std::optional<Request> requested(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    const QString &first = arguments.at(1);
    if (first == u"--help"_s || first == u"-h"_s || first == u"help"_s)
        return Request { Request::Kind::help, {}, first };
    if (first == u"--version"_s)
        return Request { Request::Kind::version, {}, first };
    if (const std::optional<ClientCommand::Verb> verb = ClientCommand::verbNamed(first.toUtf8()))
        return Request { Request::Kind::verb, *verb, first };
    // Options belong to the client's own start (Qt's and the developer build's).
    if (first.startsWith(u'-'))
        return std::nullopt;
    return Request { Request::Kind::unknown, {}, first };
}

QCoro::Task<int> run(Request request, QString lockFile, QString serverName)
{
    QTextStream out(stdout);
    QTextStream errors(stderr);
    switch (request.kind) {
    case Request::Kind::help:
        out << ClientCommand::usage();
        co_return ClientCommand::exitDone;
    case Request::Kind::version:
        out << u"Ветрон %1\n"_s.arg(QString::fromLatin1(BuildConstants::version));
        co_return ClientCommand::exitDone;
    case Request::Kind::unknown:
        errors << u"Неизвестная команда «%1».\n\n"_s.arg(request.argument) << ClientCommand::usage();
        co_return ClientCommand::exitUsage;
    case Request::Kind::verb:
        break;
    }

    SingleInstance instance(std::move(lockFile), std::move(serverName));
    const SingleInstance::Reply reply = co_await instance.ask(request.verb);
    switch (reply.outcome) {
    case SingleInstance::Reply::Outcome::notRunning:
        errors << ClientCommand::notRunning << u'\n';
        co_return ClientCommand::exitNotRunning;
    case SingleInstance::Reply::Outcome::noAnswer:
        errors << ClientCommand::noAnswer << u'\n';
        co_return ClientCommand::exitFailed;
    case SingleInstance::Reply::Outcome::answered:
        break;
    }
    const int status = ClientCommand::exitStatus(request.verb, reply.answer);
    (status == ClientCommand::exitFailed ? errors : out) << ClientCommand::report(request.verb, reply.answer);
    co_return status;
}

} // namespace Vetron::CommandLine
