#include "Platform/ProcessArguments.h"

#include <QFile>

#include <cstring>

#include <sys/sysctl.h>
#include <sys/types.h>

namespace Vetron::Platform {

// KERN_PROCARGS2 gives argc as an int, the executable path, NUL padding, then argc arguments
// each ended by a NUL (the environment follows them).
QStringList processArguments(qint64 pid)
{
    if (pid <= 0)
        return {};
    int argumentMax = 0;
    size_t size = sizeof(argumentMax);
    int maxQuery[2] = { CTL_KERN, KERN_ARGMAX };
    if (sysctl(maxQuery, 2, &argumentMax, &size, nullptr, 0) != 0 || argumentMax <= 0)
        return {};

    QByteArray buffer(argumentMax, '\0');
    size = size_t(argumentMax);
    int query[3] = { CTL_KERN, KERN_PROCARGS2, int(pid) };
    if (sysctl(query, 3, buffer.data(), &size, nullptr, 0) != 0 || size < sizeof(int))
        return {};
    buffer.truncate(qsizetype(size));

    int count = 0;
    std::memcpy(&count, buffer.constData(), sizeof(count));
    qsizetype position = buffer.indexOf('\0', qsizetype(sizeof(count)));
    if (position < 0 || count <= 0)
        return {};
    while (position < buffer.size() && buffer.at(position) == '\0')
        ++position;

    QStringList arguments;
    for (int index = 0; index < count; ++index) {
        const qsizetype end = buffer.indexOf('\0', position);
        if (end < 0)
            return {};
        arguments << QFile::decodeName(buffer.mid(position, end - position));
        position = end + 1;
    }
    return arguments;
}

} // namespace Vetron::Platform
