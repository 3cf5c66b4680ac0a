#include "Foundation/AtomicFile.h"

#include "Foundation/Error.h"
#include "Foundation/SystemErrorTexts.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::AtomicFile {

void write(const QString &path, const QByteArray &contents, QFileDevice::Permissions permissions)
{
    const QFileInfo target(path);
    // QTemporaryFile creates its file with mode 0600, so the secret is private from the start.
    QTemporaryFile temporary(target.absolutePath() + u"/."_s + target.fileName() + u".XXXXXX"_s);
    if (!temporary.open())
        throw FileError(u"Не удалось создать временный файл рядом с"_s, path,
            SystemErrorTexts::forFile(temporary.error(), errno));

    if (!temporary.setPermissions(permissions))
        throw FileError::fromFile(u"Не удалось задать права файла"_s, temporary);
    if (temporary.write(contents) != contents.size() || !temporary.flush())
        throw FileError::fromFile(u"Не удалось записать файл"_s, temporary);
    if (::fsync(temporary.handle()) != 0)
        throw FileError::fromErrno(u"Не удалось записать файл"_s, temporary.fileName());
    temporary.close();

    // rename(2) replaces the target in one step; QFile::rename would refuse an existing target.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData())
        != 0)
        throw FileError::fromErrno(u"Не удалось заменить файл"_s, path);
    temporary.setAutoRemove(false);
}

} // namespace Vetron::AtomicFile
