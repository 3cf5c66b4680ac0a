// The quoting of the privileged script. A text quoted for the shell must reach a program through
// the real /bin/sh unchanged; the AppleScript statement must carry the script as a string
// literal that AppleScript reads back as the same script (decoded here as the osascript
// stand-in decodes it). Runs /bin/sh once per input, so it is slower than the other targets.

#include "AppleScriptLiteral.h"
#include "Foundation/ScriptQuoting.h"
#include "FuzzCheck.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace Vetron;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString statement = ScriptQuoting::appleScriptFor(text);
    const QString prefix = u"do shell script \""_s;
    const QString suffix = u"\" with administrator privileges"_s;
    FUZZ_CHECK(statement.startsWith(prefix) && statement.endsWith(suffix));
    const std::optional<QString> script = StandIn::unescapeStringLiteral(
        QStringView(statement).sliced(prefix.size(), statement.size() - prefix.size() - suffix.size()));
    FUZZ_CHECK(script && *script == text);

    // No program argument can hold a NUL character.
    if (text.contains(QChar(0)))
        return 0;
    QProcess shell;
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.start(u"/bin/sh"_s, { u"-c"_s, u"printf %s "_s + ScriptQuoting::shellQuoted(text) });
    FUZZ_CHECK(
        shell.waitForFinished(-1) && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0);
    const QByteArray arrived = shell.readAllStandardOutput();
    if (arrived != text.toUtf8()) {
        std::fprintf(
            stderr, "sent %s\narrived %s\n", text.toUtf8().toHex().constData(), arrived.toHex().constData());
        std::abort();
    }
    return 0;
}
