// Stand-in for macOS open, limited to the form the self-update uses to start the new client:
//   open <path>
// It launches nothing: it checks that the path exists and appends it, as given, to the list in
// <state>/open.json. Every call is logged to <state>/open.log as a JSON array of its arguments; any
// line in <state>/open.fail makes the launch fail.

#include "StandInState.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;

int run(const QString &stateDirectory, const QStringList &arguments)
{
    if (arguments.size() != 1 || arguments.first().isEmpty() || arguments.first().startsWith(u'-')) {
        printError(u"Usage: open <path>\n"_s);
        return failureExitCode;
    }
    const QString &path = arguments.first();
    if (!readLines(stateDirectory + u"/open.fail"_s).isEmpty()) {
        printError(u"LSOpenURLsWithRole() failed with error -10810 for the file %1.\n"_s.arg(path));
        return failureExitCode;
    }
    if (!QFileInfo::exists(path)) {
        printError(u"The file %1 does not exist.\n"_s.arg(path));
        return failureExitCode;
    }
    if (!appendToJsonArray(stateDirectory + u"/open.json"_s, stateDirectory + u"/open.lock"_s, path))
        return brokenStateExitCode;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"open"_s, run);
}
