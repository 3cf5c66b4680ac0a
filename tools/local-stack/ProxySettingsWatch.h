#pragma once

#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace Vetron::LocalStack {

// The web and secure-web proxies of the enabled services in the networksetup stand-in's state
// ({"name", "enabled", "web", "secure"} objects), in one line for a person to read:
// "веб- и защищённый веб-прокси Wi-Fi, Ethernet → 127.0.0.1:40123".
QString describeProxies(const QJsonArray &services);

// Watches the networksetup stand-in's state in `stateDirectory` and reports what describeProxies
// says about it whenever that changes. A switch runs one command a proxy; what it leaves is
// reported once the state has been still for a moment, not every step on the way.
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
    QTimer m_settle;
    QString m_current;
};

} // namespace Vetron::LocalStack
