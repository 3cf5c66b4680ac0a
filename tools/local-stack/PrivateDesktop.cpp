#include "PrivateDesktop.h"

#include <QDir>
#include <QFile>

// GIO's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

PrivateDesktop::PrivateDesktop() = default;

PrivateDesktop::~PrivateDesktop()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(-1);
    }
    if (m_connection)
        g_object_unref(m_connection);
}

bool PrivateDesktop::start()
{
    if (!m_directory.isValid())
        return fail(u"no temporary folder"_s);
    // Never the account's own home, where the user's real settings live.
    const passwd *account = ::getpwuid(::getuid());
    const QString home = QDir::homePath();
    if (!account || QDir(home).canonicalPath() == QDir(QFile::decodeName(account->pw_dir)).canonicalPath())
        return fail(u"HOME is the account's own; a private one is needed"_s);

    // The administrator database is read from this folder once it exists; until then nothing is
    // locked.
    const QString profile = m_directory.filePath(u"profile"_s);
    QFile file(profile);
    const QByteArray text
        = "user-db:user\nfile-db:" + QFile::encodeName(m_directory.filePath(u"locks.db"_s)) + "\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return fail(u"cannot write "_s + profile);
    file.close();
    qputenv("DCONF_PROFILE", QFile::encodeName(profile));
    qunsetenv("GSETTINGS_BACKEND");

    m_daemon.start(u"dbus-daemon"_s, { u"--session"_s, u"--nofork"_s, u"--print-address=1"_s });
    // Set-up, before anything is served: waiting here holds up nobody.
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10'000))
            return fail(
                u"dbus-daemon did not start: "_s + QString::fromLocal8Bit(m_daemon.readAllStandardError()));
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    // GIO ends a process whose session bus goes away; this one outlives its bus. The connection
    // is shared by everything in the process for as long as it is held.
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return fail(u"cannot connect to "_s + m_address);
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    m_connection = bus;
    return true;
}

QString PrivateDesktop::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20'000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        fail(program + u' ' + arguments.join(u' ') + u": "_s
            + QString::fromLocal8Bit(process.readAllStandardError()));
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool PrivateDesktop::lock(const QStringList &keys)
{
    const QString keyfiles = m_directory.filePath(u"keyfiles"_s);
    if (!QDir().mkpath(keyfiles + u"/locks"_s))
        return fail(u"cannot make "_s + keyfiles);
    QFile locks(keyfiles + u"/locks/vetron-test"_s);
    const QByteArray text = keys.join(u'\n').toUtf8() + '\n';
    if (!locks.open(QIODevice::WriteOnly) || locks.write(text) != text.size())
        return fail(u"cannot write "_s + locks.fileName());
    locks.close();
    QProcess compile;
    compile.start(u"dconf"_s, { u"compile"_s, m_directory.filePath(u"locks.db"_s), keyfiles });
    if (!compile.waitForFinished(20'000) || compile.exitCode() != 0)
        return fail(u"dconf compile: "_s + QString::fromLocal8Bit(compile.readAllStandardError()));
    return true;
}

bool PrivateDesktop::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace Vetron::LocalStack
