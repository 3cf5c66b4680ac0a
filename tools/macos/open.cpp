// Stand-in for macOS open, limited to the form the self-update uses to start the new client:
//   open <path>
// An application bundle (a folder with Contents/Info.plist) is launched as open launches it: the
// executable its CFBundleExecutable names in Contents/MacOS, detached from the caller, with the
// caller's environment and no arguments. Any other existing path is only recorded. Each path, as
// given, is appended to the list in <state>/open.json. Every call is logged to <state>/open.log as
// a JSON array of its arguments; any line in <state>/open.fail makes the launch fail.

#include "StandInState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;

// The value of CFBundleExecutable in the property list `path`; empty when there is none.
QString bundleExecutable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader plist(&file);
    QString key; // the key the next value belongs to
    while (!plist.atEnd()) {
        if (plist.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (plist.name() == u"key"_s) {
            key = plist.readElementText();
        } else if (plist.name() == u"string"_s) {
            const QString value = plist.readElementText();
            if (key == u"CFBundleExecutable"_s)
                return value;
            key.clear();
        } else {
            key.clear();
        }
    }
    return {};
}

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
    const QDir contents(path + u"/Contents"_s);
    if (QFileInfo(contents.filePath(u"Info.plist"_s)).isFile()) {
        const QString name = bundleExecutable(contents.filePath(u"Info.plist"_s));
        const QString executable = contents.filePath(u"MacOS/"_s + name);
        if (name.isEmpty() || !QFileInfo(executable).isExecutable()
            || !QProcess::startDetached(executable, {}, QDir::homePath())) {
            printError(u"The application cannot be opened because its executable is missing.\n"
                       "LSOpenURLsWithRole() failed with error -10827 for the file %1.\n"_s.arg(path));
            return failureExitCode;
        }
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
