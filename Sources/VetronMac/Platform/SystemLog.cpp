#include "Platform/SystemLog.h"

#include <syslog.h>

namespace Vetron::Platform {

void writeSystemLog(const QString &line)
{
    // syslog reaches the unified log on macOS as well; no Apple-only code is needed for one line.
    ::syslog(LOG_NOTICE | LOG_USER, "%s", line.toUtf8().constData());
}

} // namespace Vetron::Platform
