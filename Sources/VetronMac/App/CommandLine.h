#pragma once

#include "App/ClientCommand.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <optional>

// `vetron <verb>`: the command line that scripts and keyboard launchers use. It asks the client
// that runs for this user and never starts one.
namespace Vetron::CommandLine {

struct Request
{
    enum class Kind { verb, help, version, unknown };
    Kind kind = Kind::unknown;
    ClientCommand::Verb verb = ClientCommand::Verb::status;
    QString argument; // as given
};

// What `arguments` (the program's own name first) ask when their first is a command, "--help" or
// "--version", or any other word that is no option; nothing when the client is to start.
std::optional<Request> requested(const QStringList &arguments);

// Prints what `request` yields (answers on standard output, failures on standard error) and
// gives the exit status, asking the client that listens at `serverName` where a verb needs it.
QCoro::Task<int> run(Request request, QString lockFile, QString serverName);

} // namespace Vetron::CommandLine
