#pragma once

#include <QByteArray>
#include <QString>

// Reading what ssh writes to its standard error: the tunnel keeps the last line it saw, so that
// the log can say why ssh ended.
namespace Vetron::SshStandardError {

// The last non-empty line of a chunk of ssh's standard error (any Unicode line break ends a
// line), or an empty text when the chunk holds none.
QString lastLine(const QByteArray &chunk);

} // namespace Vetron::SshStandardError
