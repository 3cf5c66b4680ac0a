#pragma once

#include "BuildConstants.h"

#include <QString>
#include <QUrl>

namespace Vetron {

// Where the enrollment server and the account portal live. The defaults are the build's
// constants; tests point both at a local server.
struct ServerAddresses {
    QUrl enrollmentBase = QUrl(QString::fromUtf8(BuildConstants::enrollmentBaseUrl));
    QUrl portalBase = QUrl(QString::fromUtf8(BuildConstants::portalBaseUrl));

    // `base` with `path` appended as one more path component: no doubled or missing slash.
    static QUrl withPath(QUrl base, const QString &path);
};

} // namespace Vetron
