#pragma once

#include <QString>
#include <QUrl>

namespace Vetron {

// Where the enrollment server and the account portal live. The defaults are the build's
// constants; tests point both at a local server.
struct ServerAddresses
{
    QUrl enrollmentBase = buildEnrollmentBase();
    QUrl portalBase = buildPortalBase();

    // `base` with `path` appended as one more path component: no doubled or missing slash.
    static QUrl withPath(QUrl base, const QString &path);

    static QUrl buildEnrollmentBase();
    static QUrl buildPortalBase();
};

} // namespace Vetron
