#pragma once

#include <QString>

// How the proxy switch writes its privileged script: shell words for /bin/sh and the AppleScript
// statement that hands the script to the administrator password dialog.
namespace Vetron::ScriptQuoting {

// Wraps `text` in single quotes for /bin/sh, each inner quote written as '\''.
QString shellQuoted(const QString &text);

// The AppleScript that runs `script` through the administrator password dialog.
QString appleScriptFor(const QString &script);

} // namespace Vetron::ScriptQuoting
