#pragma once

#include <QStringList>

namespace Vetron::Platform {

// The argument vector another process was started with, its program first, as far as this user
// may see it. Empty when there is no such process, when it has already exited (a zombie shows no
// arguments), or when the system does not tell.
QStringList processArguments(qint64 pid);

} // namespace Vetron::Platform
