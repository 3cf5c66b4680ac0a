#include "Platform/ProcessArguments.h"

#include <QFile>

namespace Vetron::Platform {

// Linux keeps the arguments in /proc/<pid>/cmdline, each one ended by a NUL.
QStringList processArguments(qint64 pid)
{
    if (pid <= 0)
        return {};
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray contents = file.readAll();
    if (!contents.endsWith('\0'))
        return {};
    contents.chop(1);
    QStringList arguments;
    for (const QByteArray &argument : contents.split('\0'))
        arguments << QFile::decodeName(argument);
    return arguments;
}

} // namespace Vetron::Platform
