#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <utility>

#include <sys/stat.h>

namespace Vetron::Test {

// The whole file, or nothing when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file's contents; false when the file could not be written in full.
inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

// The permission bits of `path` (set-id and sticky bits included), or 0 when it is not there.
inline mode_t modeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A tar archive of `files` (path inside, contents), as the stand-ins read disk images and packages.
inline QByteArray tarArchive(const QList<std::pair<QString, QByteArray>> &files)
{
    QTemporaryDir content;
    for (const auto &[path, bytes] : files) {
        QDir().mkpath(QFileInfo(content.filePath(path)).path());
        writeFile(content.filePath(path), bytes);
    }
    QProcess tar;
    tar.start(QStringLiteral("/bin/tar"),
        { QStringLiteral("-cf"), QStringLiteral("-"), QStringLiteral("-C"), content.path(),
            QStringLiteral(".") });
    tar.waitForFinished(-1);
    return tar.readAllStandardOutput();
}

// A disk image as the hdiutil stand-in mounts it, holding `names`; a "Vetron.pkg" among them is a
// package of an application bundle that the installer stand-in installs, the others are empty.
inline QByteArray releaseImage(const QStringList &names = { QStringLiteral("Vetron.pkg") })
{
    const QByteArray package
        = tarArchive({ { QStringLiteral("Applications/Ветрон.app/Contents/Info.plist"), "<plist/>" } });
    QList<std::pair<QString, QByteArray>> files;
    for (const QString &name : names)
        files.append({ name, name == QStringLiteral("Vetron.pkg") ? package : QByteArray() });
    return tarArchive(files);
}

} // namespace Vetron::Test
