// Stand-in for pkexec, the desktop's authentication prompt, limited to the form the self-update
// uses to install a Debian package as the administrator:
//   pkexec /usr/bin/apt-get install --yes <package>
// A package here is a tar archive of what it installs, relative to /: it is unpacked into
// <state>/root, the stand-in's root, as apt-get would unpack a Debian package into /, and its
// path is appended to the list in <state>/pkexec.json. Every call is logged to <state>/pkexec.log
// as a JSON array of its arguments. A number in <state>/pkexec.exit is the exit status instead,
// as pkexec gives it: 126 when the user dismissed the prompt, 127 when there is no prompt to show.

#include "StandInState.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;

int run(const QString &stateDirectory, const QStringList &arguments)
{
    if (arguments.size() != 4 || arguments.at(0) != u"/usr/bin/apt-get"_s || arguments.at(1) != u"install"_s
        || arguments.at(2) != u"--yes"_s) {
        printError(u"Usage: pkexec /usr/bin/apt-get install --yes <package>\n"_s);
        return failureExitCode;
    }
    const QStringList exit = readLines(stateDirectory + u"/pkexec.exit"_s);
    if (!exit.isEmpty()) {
        printError(u"Error executing command as another user: Not authorized\n"_s);
        return exit.first().toInt();
    }
    const QString &package = arguments.at(3);
    if (!QFileInfo(package).isFile()) {
        printError(u"E: Unsupported file %1 given on commandline\n"_s.arg(package));
        return 100;
    }
    const QString root = stateDirectory + u"/root"_s;
    if (!QDir().mkpath(root) || !extractArchive(package, root)) {
        printError(u"dpkg-deb: error: '%1' is not a Debian format archive\n"
                   "E: Sub-process /usr/bin/dpkg returned an error code (1)\n"_s.arg(package));
        return 100;
    }
    if (!appendToJsonArray(stateDirectory + u"/pkexec.json"_s, stateDirectory + u"/pkexec.lock"_s, package))
        return brokenStateExitCode;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"pkexec"_s, run);
}
