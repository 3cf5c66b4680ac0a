#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

constexpr int toolLimitMs = 30000;
constexpr int killLimitMs = 3000;

} // namespace

QString runTool(const QString &program, const QStringList &arguments, const QByteArray &input,
    QByteArray *output, const QString &workingDirectory)
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(toolLimitMs))
        return u"%1 did not start: %2"_s.arg(program, process.errorString());
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(toolLimitMs)) {
        process.kill();
        process.waitForFinished(killLimitMs);
        return u"%1 did not finish within %2 ms"_s.arg(program).arg(toolLimitMs);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return u"%1 %2 failed with status %3: %4"_s.arg(program, arguments.value(0))
            .arg(process.exitCode())
            .arg(QString::fromLocal8Bit(process.readAllStandardError()));
    }
    if (output)
        *output = process.readAllStandardOutput();
    return {};
}

bool writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path())
        && file.open(QIODevice::WriteOnly | QIODevice::Truncate, permissions)
        && file.write(content) == content.size() && file.setPermissions(permissions);
}

} // namespace Vetron::LocalStack
