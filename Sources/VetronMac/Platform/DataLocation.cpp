#include "Platform/DataLocation.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {

QString userDataLocation()
{
    // GenericDataLocation is the application-support folder itself on macOS, without the
    // organisation and application names that AppDataLocation would append.
    QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (location.isEmpty()) {
#ifdef Q_OS_MACOS
        location = QDir::homePath() + u"/Library/Application Support"_s;
#else
        location = QDir::homePath() + u"/.local/share"_s;
#endif
    }
    return location;
}

} // namespace Vetron::Platform
