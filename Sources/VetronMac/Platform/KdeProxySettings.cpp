#include "Platform/KdeProxySettings.h"

#include "Foundation/ProcessRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString file = u"kioslaverc"_s;
const QString group = u"Proxy Settings"_s;
// What kreadconfig5 prints for an absent key: no value Plasma writes looks like it.
const QString absent = u"<vetron: absent>"_s;

} // namespace

KdeProxySettings::KdeProxySettings(ToolPaths tools)
    : m_tools(std::move(tools))
{
}

const QStringList &KdeProxySettings::keys()
{
    static const QStringList keys { u"ProxyType"_s, u"httpProxy"_s, u"httpsProxy"_s };
    return keys;
}

QList<KdeProxySettings::Change> KdeProxySettings::ourValues(quint16 port)
{
    // Plasma's settings page writes the scheme, the host and, after a space, the port.
    const QString proxy = u"http://127.0.0.1 %1"_s.arg(port);
    return { { u"ProxyType"_s, u"1"_s }, { u"httpProxy"_s, proxy }, { u"httpsProxy"_s, proxy } };
}

QCoro::Task<std::optional<QString>> KdeProxySettings::read(QString key) const
{
    const QStringList arguments { u"--file"_s, file, u"--group"_s, group, u"--key"_s, key, u"--default"_s,
        absent };
    const ProcessOutput output = co_await ProcessRunner::run(m_tools.kreadconfig, arguments);
    QString value = QString::fromUtf8(output.standardOutput);
    if (value.endsWith(u'\n'))
        value.chop(1);
    if (value == absent)
        co_return std::nullopt;
    co_return value;
}

QCoro::Task<> KdeProxySettings::write(QList<Change> changes) const
{
    for (const auto &[key, value] : changes) {
        QStringList arguments { u"--file"_s, file, u"--group"_s, group, u"--key"_s, key };
        if (value)
            arguments << *value;
        else
            arguments << u"--delete"_s;
        co_await ProcessRunner::run(m_tools.kwriteconfig, arguments);
    }
}

QCoro::Task<bool> KdeProxySettings::holds(QList<Change> changes) const
{
    for (const auto &[key, value] : changes) {
        const std::optional<QString> now = co_await read(key);
        if (now != value)
            co_return false;
    }
    co_return true;
}

void KdeProxySettings::announceChange()
{
    QDBusMessage signal = QDBusMessage::createSignal(
        u"/KIO/Scheduler"_s, u"org.kde.KIO.Scheduler"_s, u"reparseSlaveConfiguration"_s);
    signal << QString();
    QDBusConnection::sessionBus().send(signal);
}

} // namespace Vetron
