#include "Foundation/ServerAddresses.h"

namespace Vetron {

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
