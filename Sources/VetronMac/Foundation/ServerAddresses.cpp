#include "Foundation/ServerAddresses.h"

#include "ServerBaseUrls.h"

namespace Vetron {

QUrl ServerAddresses::buildEnrollmentBase()
{
    return QUrl(QString::fromUtf8(BuildConstants::enrollmentBaseUrl));
}

QUrl ServerAddresses::buildPortalBase()
{
    return QUrl(QString::fromUtf8(BuildConstants::portalBaseUrl));
}

QUrl ServerAddresses::withPath(QUrl base, const QString &path)
{
    QString joined = base.path();
    if (!joined.endsWith(u'/'))
        joined += u'/';
    joined += path.startsWith(u'/') ? path.mid(1) : path;
    base.setPath(joined);
    return base;
}

} // namespace Vetron
