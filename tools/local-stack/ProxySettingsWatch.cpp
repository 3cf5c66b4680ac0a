#include "ProxySettingsWatch.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

QString endpointText(const QJsonObject &endpoint)
{
    const QString server = endpoint.value(u"server"_s).toString();
    if (!endpoint.value(u"enabled"_s).toBool() || server.isEmpty())
        return u"выключен"_s;
    return u"→ %1:%2"_s.arg(server).arg(endpoint.value(u"port"_s).toInt());
}

} // namespace

QString describeProxies(const QJsonArray &services)
{
    // Services whose two proxies say the same are named together, in the order listed.
    struct Group
    {
        QString web;
        QString secure;
        QStringList names;
    };
    QList<Group> groups;
    for (const QJsonValue &value : services) {
        const QJsonObject service = value.toObject();
        if (!service.value(u"enabled"_s).toBool(true))
            continue;
        const QString web = endpointText(service.value(u"web"_s).toObject());
        const QString secure = endpointText(service.value(u"secure"_s).toObject());
        const auto group = std::find_if(
            groups.begin(), groups.end(), [&](const Group &g) { return g.web == web && g.secure == secure; });
        if (group == groups.end())
            groups.append({ web, secure, { service.value(u"name"_s).toString() } });
        else
            group->names.append(service.value(u"name"_s).toString());
    }
    if (groups.isEmpty())
        return u"сетевых служб нет"_s;
    QStringList parts;
    for (const Group &group : std::as_const(groups)) {
        const QString names = group.names.join(u", "_s);
        if (group.web != group.secure)
            parts << u"веб-прокси %1 %2, защищённый веб-прокси %3"_s.arg(names, group.web, group.secure);
        else if (group.web.startsWith(u'→'))
            parts << u"веб- и защищённый веб-прокси %1 %2"_s.arg(names, group.web);
        else
            parts << u"веб- и защищённый веб-прокси %1 выключены"_s.arg(names);
    }
    return parts.join(u"; "_s);
}

ProxySettingsWatch::ProxySettingsWatch(const QString &stateDirectory, QObject *parent)
    : QObject(parent)
    , m_stateFile(QDir(stateDirectory).filePath(u"networksetup.json"_s))
{
    // The stand-in replaces its state file by a rename, which the directory sees.
    m_watcher.addPath(stateDirectory);
    m_settle.setSingleShot(true);
    m_settle.setInterval(300);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_settle, &QTimer::timeout, this, &ProxySettingsWatch::look);
    look();
}

void ProxySettingsWatch::look()
{
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonArray services
        = QJsonDocument::fromJson(file.readAll()).object().value(u"services"_s).toArray();
    const QString description = describeProxies(services);
    if (description == m_current)
        return;
    m_current = description;
    Q_EMIT changed(description);
}

} // namespace Vetron::LocalStack
