// Stand-in for macOS osascript, limited to the one form the client uses:
//   osascript -e 'do shell script "<script>" with administrator privileges'
// It logs every well-formed script to <state>/osascript.log (one JSON string a line, so tests can
// count password prompts), acts like a cancelled password dialog when <state>/osascript.refuse
// exists, and otherwise runs the script with /bin/sh as the current user. While
// <state>/osascript.hold exists the dialog stays open: the script waits, already logged.

#include "AppleScriptLiteral.h"
#include "StandInState.h"

#include <QFile>
#include <QProcess>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int syntaxErrorExitCode = 2;
constexpr int executionErrorExitCode = 1;

const QString scriptPrefix = u"do shell script \""_s;
const QString scriptSuffix = u"\" with administrator privileges"_s;

std::optional<QString> shellScript(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments.at(0) != u"-e"_s) {
        printError(u"usage: osascript -e 'do shell script \"…\" with administrator privileges'\n"_s);
        return std::nullopt;
    }
    const QString &statement = arguments.at(1);
    if (statement.size() < scriptPrefix.size() + scriptSuffix.size() || !statement.startsWith(scriptPrefix)
        || !statement.endsWith(scriptSuffix)) {
        printError(u"0:0: syntax error: only 'do shell script \"…\" with administrator privileges' is "
                   "understood here.\n"_s);
        return std::nullopt;
    }
    const QStringView body = QStringView(statement).sliced(
        scriptPrefix.size(), statement.size() - scriptPrefix.size() - scriptSuffix.size());
    std::optional<QString> script = unescapeStringLiteral(body);
    if (!script)
        printError(u"0:0: syntax error: Expected end of line but found \"\"\". (-2741)\n"_s);
    return script;
}

int runScript(const QString &script)
{
    QProcess shell;
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.start(u"/bin/sh"_s, { u"-c"_s, script });
    if (!shell.waitForFinished(-1)) {
        printError(u"0:1: execution error: %1 (-1)\n"_s.arg(shell.errorString()));
        return executionErrorExitCode;
    }
    // A shell killed by a signal reports the signal number; give it the shell's 128 + N form.
    const int status = shell.exitStatus() == QProcess::CrashExit ? 128 + shell.exitCode() : shell.exitCode();
    if (status != 0) {
        QString message = QString::fromUtf8(shell.readAllStandardError()).trimmed();
        if (message.isEmpty())
            message = u"The command exited with a non-zero status."_s;
        printError(u"0:1: execution error: %1 (%2)\n"_s.arg(message, QString::number(status)));
        return executionErrorExitCode;
    }
    // do shell script drops one trailing line feed; osascript then prints the result on a line.
    QByteArray output = shell.readAllStandardOutput();
    if (output.endsWith('\n'))
        output.chop(1);
    printOut(output + '\n');
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(
        argc, argv, u"osascript"_s,
        [](const QString &stateDirectory, const QStringList &arguments) {
            const std::optional<QString> script = shellScript(arguments);
            if (!script)
                return syntaxErrorExitCode;
            appendLogLine(callLogPath(stateDirectory, u"osascript"_s), compactJson(*script));
            while (QFile::exists(stateDirectory + u"/osascript.hold"_s))
                QThread::msleep(20);

            if (QFile::exists(stateDirectory + u"/osascript.refuse"_s)) {
                printError(u"0:1: execution error: User canceled. (-128)\n"_s);
                return executionErrorExitCode;
            }
            return runScript(*script);
        },
        CallLog::byTool);
}
