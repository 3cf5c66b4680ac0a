// Stand-in for macOS installer, limited to the form the self-update uses:
//   installer -pkg <package> -target CurrentUserHomeDirectory
// A package here is a tar archive of what it installs, relative to the target: it is unpacked into
// the user's home (HOME), as a package for the current user puts "Applications/…" there. Then
// {"package", "target"}, both as given, are appended to the list in <state>/installer.json. Every
// call is logged to <state>/installer.log as a JSON array of its arguments; any line in
// <state>/installer.fail makes the install fail. While <state>/installer.hold exists the install
// is under way: the call waits, already logged, and has installed and recorded nothing yet.

#include "StandInState.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;

struct Install
{
    QString package;
    QString target;
};

// Both options, each given once, in either order, and nothing else.
std::optional<Install> parseArguments(const QStringList &arguments)
{
    std::optional<QString> package;
    std::optional<QString> target;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString &option = arguments.at(i);
        std::optional<QString> *value = option == u"-pkg"_s ? &package
            : option == u"-target"_s                        ? &target
                                                            : nullptr;
        if (!value || value->has_value())
            return std::nullopt;
        *value = arguments.at(i + 1);
    }
    if (arguments.size() != 4 || !package || !target)
        return std::nullopt;
    return Install { *package, *target };
}

int run(const QString &stateDirectory, const QStringList &arguments)
{
    const std::optional<Install> install = parseArguments(arguments);
    if (!install) {
        printError(u"Usage: installer -pkg <pathToPackage> -target <device>\n"_s);
        return failureExitCode;
    }
    if (install->target != u"CurrentUserHomeDirectory"_s) {
        printError(u"installer: Error - this stand-in installs only for the current user "
                   "(-target CurrentUserHomeDirectory), not at '%1'.\n"_s.arg(install->target));
        return failureExitCode;
    }
    while (QFileInfo::exists(stateDirectory + u"/installer.hold"_s))
        QThread::msleep(20);
    if (!readLines(stateDirectory + u"/installer.fail"_s).isEmpty()) {
        printError(u"installer: The install failed.\n"_s);
        return failureExitCode;
    }
    if (!QFileInfo::exists(install->package)) {
        printError(
            u"installer: Error - the package path specified was invalid: '%1'.\n"_s.arg(install->package));
        return failureExitCode;
    }
    const QString home = QDir::homePath();
    if (!extractArchive(install->package, home)) {
        printError(
            u"installer: The install failed. (The package '%1' could not be unpacked into %2.)\n"_s.arg(
                install->package, home));
        return failureExitCode;
    }
    const QJsonObject record { { u"package"_s, install->package }, { u"target"_s, install->target } };
    if (!appendToJsonArray(
            stateDirectory + u"/installer.json"_s, stateDirectory + u"/installer.lock"_s, record))
        return brokenStateExitCode;
    printOut(u"installer: Package name is Vetron\ninstaller: Installing at base path %1\n"
             "installer: The install was successful.\n"_s.arg(home));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"installer"_s, run);
}
