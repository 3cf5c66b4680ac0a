#pragma once

#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QObject>
#include <QString>

namespace Vetron::LocalStack {

// The web and secure-web proxies of the enabled services in the networksetup stand-in's state
// ({"name", "enabled", "web", "secure"} objects), in one line for a person to read:
// "веб- и защищённый веб-прокси Wi-Fi, Ethernet → 127.0.0.1:40123".
QString describeProxies(const QJsonArray &services);

// Watches the networksetup stand-in's state in `stateDirectory` and reports every change of what
// describeProxies says about it.
class ProxySettingsWatch : public QObject
{
    Q_OBJECT

public:
    explicit ProxySettingsWatch(const QString &stateDirectory, QObject *parent = nullptr);

    QString current() const { return m_current; }

Q_SIGNALS:
    void changed(const QString &description);

private:
    void look();

    QString m_stateFile;
    QFileSystemWatcher m_watcher;
    QString m_current;
};

} // namespace Vetron::LocalStack
