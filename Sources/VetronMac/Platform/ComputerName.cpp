#include "Platform/ComputerName.h"

#include <QSysInfo>

namespace Vetron::Platform {

// Elsewhere than on macOS the host name is the closest thing to a user-visible computer name.
QString computerName()
{
    return QSysInfo::machineHostName();
}

} // namespace Vetron::Platform
