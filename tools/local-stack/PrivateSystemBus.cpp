#include "PrivateSystemBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcessEnvironment>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

const QString login1 = u"org.freedesktop.login1"_s;

} // namespace

PrivateSystemBus::PrivateSystemBus()
    : m_connectionName(u"private-system-bus-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

PrivateSystemBus::~PrivateSystemBus()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    if (m_logind.state() != QProcess::NotRunning) {
        m_logind.kill();
        m_logind.waitForFinished(-1);
    }
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(-1);
    }
}

bool PrivateSystemBus::start()
{
    if (!m_directory.isValid())
        return fail(u"no temporary folder"_s);
    const QString configuration = m_directory.filePath(u"bus.conf"_s);
    QFile file(configuration);
    const QByteArray text
        = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
          "<busconfig>\n"
          "  <listen>unix:path="
        + QFile::encodeName(m_directory.filePath(u"bus"_s))
        + "</listen>\n"
          "  <auth>EXTERNAL</auth>\n"
          "  <policy context=\"default\">\n"
          "    <allow user=\"*\"/>\n"
          "    <allow own=\"*\"/>\n"
          "    <allow send_destination=\"*\"/>\n"
          "    <allow receive_sender=\"*\"/>\n"
          "  </policy>\n"
          "</busconfig>\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return fail(u"cannot write "_s + configuration);
    file.close();

    m_daemon.start(
        u"dbus-daemon"_s, { u"--config-file="_s + configuration, u"--nofork"_s, u"--print-address=1"_s });
    // Set-up, before anything is served: waiting here holds up nobody.
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10'000))
            return fail(
                u"dbus-daemon did not start: "_s + QString::fromLocal8Bit(m_daemon.readAllStandardError()));
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();

    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected())
        return fail(u"cannot connect to "_s + m_address + u": "_s + bus.lastError().message());

    // logind itself, as python-dbusmock's template of it answers on the bus.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_address);
    m_logind.setProcessEnvironment(environment);
    m_logind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_logind.start(u"/usr/bin/python3"_s, { u"-m"_s, u"dbusmock"_s, u"--template"_s, u"logind"_s });
    if (!m_logind.waitForStarted(10'000))
        return fail(u"python3-dbusmock does not start"_s);
    for (int tries = 0; !bus.interface()->isServiceRegistered(login1); ++tries) {
        if (tries == 200 || m_logind.waitForFinished(50))
            return fail(u"python3-dbusmock's logind did not come up"_s);
    }
    return true;
}

bool PrivateSystemBus::announceWake()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(login1, u"/org/freedesktop/login1"_s,
                                  u"org.freedesktop.DBus.Mock"_s, u"EmitSignal"_s)
        << u"org.freedesktop.login1.Manager"_s << u"PrepareForSleep"_s << u"b"_s
        << QVariantList { QVariant::fromValue(QDBusVariant(false)) };
    return QDBusConnection(m_connectionName).call(call).type() == QDBusMessage::ReplyMessage;
}

bool PrivateSystemBus::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace Vetron::LocalStack
