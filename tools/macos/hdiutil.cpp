// Stand-in for macOS hdiutil, limited to what the self-update uses:
//   hdiutil attach <image> [-nobrowse] [-readonly] [-noverify] -mountpoint <dir>
//   hdiutil detach <dir> [-force]
// A disk image here is a tar archive: attaching extracts it into the existing mount point and
// records the mount in <state>/hdiutil.json ({"<mount point>": "<image>"}); detaching empties the
// mount point again. Every call is logged to <state>/hdiutil.log as a JSON array of its arguments;
// sub-commands listed in <state>/hdiutil.fail fail on purpose.

#include "StandInState.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;
constexpr int busyExitCode = 16;

const QString attachUsage
    = u"Usage: hdiutil attach <image> [-nobrowse] [-readonly] [-noverify] -mountpoint <path>\n"_s;
const QString detachUsage = u"Usage: hdiutil detach <mount point> [-force]\n"_s;

QString absoluteCleanPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

int fail(const QString &command, const QString &reason)
{
    printError(u"hdiutil: %1 failed - %2\n"_s.arg(command, reason));
    return failureExitCode;
}

int usage(const QString &text)
{
    printError(text);
    return failureExitCode;
}

int attach(QJsonObject &mounts, const QStringList &arguments)
{
    QString image;
    QString mountPoint;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"-mountpoint"_s && i + 1 < arguments.size())
            mountPoint = arguments.at(++i);
        else if (argument == u"-nobrowse"_s || argument == u"-readonly"_s || argument == u"-noverify"_s)
            continue;
        else if (argument.startsWith(u'-') || !image.isEmpty())
            return usage(attachUsage);
        else
            image = argument;
    }
    if (image.isEmpty() || mountPoint.isEmpty())
        return usage(attachUsage);

    const QString directory = absoluteCleanPath(mountPoint);
    if (!QFileInfo(image).isFile() || !QFileInfo(directory).isDir())
        return fail(u"attach"_s, u"No such file or directory"_s);
    if (mounts.contains(directory))
        return fail(u"attach"_s, u"Resource busy"_s);

    if (!extractArchive(image, directory))
        return fail(u"attach"_s, u"image not recognized"_s);

    mounts.insert(directory, absoluteCleanPath(image));
    printOut(u"/dev/disk4s1\tApple_HFS\t%1\n"_s.arg(directory));
    return 0;
}

// Removes everything inside `directory` and keeps the directory itself.
bool removeContents(const QString &directory)
{
    bool removed = true;
    const QFileInfoList entries = QDir(directory).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            removed = QDir(entry.filePath()).removeRecursively() && removed;
        else
            removed = QFile::remove(entry.filePath()) && removed;
    }
    return removed;
}

int detach(QJsonObject &mounts, const QStringList &arguments)
{
    QStringList operands = arguments;
    operands.removeAll(u"-force"_s);
    if (operands.size() != 1 || operands.first().startsWith(u'-'))
        return usage(detachUsage);

    const QString directory = absoluteCleanPath(operands.first());
    if (!mounts.contains(directory))
        return fail(u"detach"_s, u"No such file or directory"_s);
    if (!removeContents(directory)) {
        printError(u"hdiutil: couldn't unmount \"disk4\" - Resource busy\n"_s);
        return busyExitCode;
    }
    mounts.remove(directory);
    printOut(u"\"disk4\" ejected.\n"_s);
    return 0;
}

int run(const QString &stateDirectory, const QStringList &arguments)
{
    const QString command = arguments.value(0);
    if (command != u"attach"_s && command != u"detach"_s)
        return usage(attachUsage + detachUsage);
    if (readLines(stateDirectory + u"/hdiutil.fail"_s).contains(command))
        return fail(command, u"simulated failure"_s);

    const QString statePath = stateDirectory + u"/hdiutil.json"_s;
    const StateLock lock(stateDirectory + u"/hdiutil.lock"_s);
    const std::optional<QJsonObject> original = readJsonObject(statePath);
    if (!original)
        return brokenStateExitCode;
    QJsonObject mounts = *original;
    const QStringList options = arguments.sliced(1);
    const int exitCode = command == u"attach"_s ? attach(mounts, options) : detach(mounts, options);
    if (mounts != *original && !writeJsonObject(statePath, mounts))
        return brokenStateExitCode;
    return exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"hdiutil"_s, run);
}
