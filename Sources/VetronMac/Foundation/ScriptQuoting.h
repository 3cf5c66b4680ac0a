#pragma once

#include <QString>

// Quoting of text handed to /bin/sh and to double-quoted literals (AppleScript strings, ssh
// configuration values). Inline so the development tools share it without linking the core.
namespace Vetron::ScriptQuoting {

// Wraps `text` in single quotes for /bin/sh, each inner quote written as '\''.
inline QString shellQuoted(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

// The body of a double-quoted literal: each backslash and double quote preceded by a backslash.
inline QString doubleQuotedBody(const QString &text)
{
    return QString(text).replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
}

// The AppleScript that runs `script` through the administrator password dialog.
inline QString appleScriptFor(const QString &script)
{
    return QStringLiteral("do shell script \"") + doubleQuotedBody(script)
        + QStringLiteral("\" with administrator privileges");
}

} // namespace Vetron::ScriptQuoting
