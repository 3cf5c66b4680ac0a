#include "ProcessTree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMultiHash>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack::ProcessTree {

namespace {

// Fields of /proc/<pid>/stat after the command name, which sits in parentheses and may hold blanks:
// the state first, then the parent's pid.
QList<QByteArray> statFields(pid_t pid)
{
    QFile file(u"/proc/%1/stat"_s.arg(pid));
    const QByteArray line = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const auto end = line.lastIndexOf(')');
    if (end < 0)
        return {};
    return line.mid(end + 2).split(' ');
}

} // namespace

QList<pid_t> descendantsOf(pid_t root)
{
    QMultiHash<pid_t, pid_t> childrenOf;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() >= 2)
            childrenOf.insert(pid_t(fields.at(1).toInt()), pid);
    }
    QList<pid_t> found;
    QList<pid_t> pending { root };
    while (!pending.isEmpty()) {
        const QList<pid_t> children = childrenOf.values(pending.takeFirst());
        found += children;
        pending += children;
    }
    return found;
}

QList<pid_t> withArgument(const QByteArray &argument)
{
    QList<pid_t> found;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid || hasEnded(pid))
            continue;
        QFile file(u"/proc/%1/cmdline"_s.arg(pid));
        if (file.open(QIODevice::ReadOnly) && file.readAll().split('\0').contains(argument))
            found << pid;
    }
    return found;
}

bool hasEnded(pid_t pid)
{
    const QList<QByteArray> fields = statFields(pid);
    return fields.isEmpty() || fields.first() == "Z" || fields.first() == "X";
}

} // namespace Vetron::LocalStack::ProcessTree
