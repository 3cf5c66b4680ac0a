#include "SshServer.h"

#include "ProcessTree.h"
#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

const QString sshd = u"/usr/sbin/sshd"_s;
const QString sshKeygen = u"/usr/bin/ssh-keygen"_s;
const QString privilegeSeparationDirectory = u"/run/sshd"_s;

const QString hostKeyName = u"host_ed25519_key"_s;
const QString deviceKeyName = u"device_ed25519_key"_s;
const QString authorizedKeysName = u"authorized_keys"_s;
const QString configName = u"sshd_config"_s;
const QString pidFileName = u"sshd.pid"_s;

constexpr int toolLimitMs = 10000;
constexpr int listenLimitMs = 10000;
constexpr int stopLimitMs = 3000;
constexpr int bindAttempts = 3;

const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const auto readableByAll = ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ClientFile
{
    QString name;
    QByteArray content;
    QFileDevice::Permissions permissions;
};

// sshd_config takes a quoted argument as one, blanks and all.
QString quoted(const QString &path)
{
    return u"\"%1\""_s.arg(path);
}

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    const bool connected = socket.waitForConnected(500);
    socket.abort();
    return connected;
}

bool allEnded(const QList<pid_t> &pids)
{
    return std::all_of(pids.cbegin(), pids.cend(), ProcessTree::hasEnded);
}

bool waitUntilEnded(const QList<pid_t> &pids)
{
    const QDeadlineTimer deadline(stopLimitMs);
    while (!allEnded(pids)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

// Ends processes that are not our children: politely first, by force when they linger.
void endProcesses(const QList<pid_t> &pids)
{
    for (const pid_t pid : pids)
        ::kill(pid, SIGTERM);
    if (waitUntilEnded(pids))
        return;
    for (const pid_t pid : pids) {
        if (!ProcessTree::hasEnded(pid))
            ::kill(pid, SIGKILL);
    }
    waitUntilEnded(pids);
}

} // namespace

SshServer::SshServer(quint16 forwardPort)
    : SshServer(Options {})
{
    m_options.forwardPort = forwardPort;
}

SshServer::SshServer(Options options)
    : m_options(std::move(options))
{
    if (m_options.directory.isEmpty()) {
        m_temporary.emplace();
        m_directory = m_temporary->isValid() ? m_temporary->path() : QString();
    } else if (QDir().mkpath(m_options.directory)) {
        m_directory = QFileInfo(m_options.directory).absoluteFilePath();
    }
}

SshServer::~SshServer()
{
    stop();
    // Only an empty directory goes: another server may have started meanwhile and use it.
    if (m_options.removeMadePrivilegeSeparationDirectory && m_madePrivilegeSeparationDirectory)
        ::rmdir(QFile::encodeName(privilegeSeparationDirectory).constData());
}

bool SshServer::start()
{
    if (isRunning())
        return true;
    m_lastError.clear();
    if (m_directory.isEmpty())
        return fail(u"no directory for sshd's files"_s);
    if (!makeKeys())
        return false;
    // Another process may take the picked port before sshd binds it; a fresh port then helps.
    for (int attempt = 0; attempt < bindAttempts; ++attempt) {
        m_port = pickFreePort();
        if (m_port == 0)
            return fail(u"no free port on 127.0.0.1"_s);
        if (!writeServerFiles())
            return false;
        const auto logStart = m_log.size();
        if (launch())
            return true;
        if (!m_log.mid(logStart).contains("Address already in use"))
            return false;
    }
    return false;
}

bool SshServer::restart()
{
    stop();
    m_lastError.clear();
    if (m_port == 0)
        return fail(u"restart before a successful start"_s);
    return launch();
}

bool SshServer::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void SshServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        const auto listener = pid_t(m_process->processId());
        // Each connection's sshd runs in a session of its own, so a signal to the listener's process
        // group would leave established sessions alive. The listener is held still so that it accepts
        // nothing new while its sessions end; once continued it reaps them before it exits itself, so
        // no zombie is handed to an init that may never reap it.
        ::kill(listener, SIGSTOP);
        endProcesses(ProcessTree::descendantsOf(listener));
        ::kill(listener, SIGTERM);
        ::kill(listener, SIGCONT);
        if (!m_process->waitForFinished(stopLimitMs)) {
            m_process->kill();
            m_process->waitForFinished(stopLimitMs);
        }
    }
    collectLog();
    m_process.reset();
}

QString SshServer::userName() const
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString SshServer::devicePrivateKeyPath() const
{
    return path(deviceKeyName);
}

QByteArray SshServer::devicePrivateKey() const
{
    return readFile(devicePrivateKeyPath());
}

QByteArray SshServer::devicePublicKey() const
{
    return readFile(devicePrivateKeyPath() + u".pub"_s).trimmed();
}

QByteArray SshServer::hostKeyLine() const
{
    const QList<QByteArray> fields = readFile(hostKeyPath() + u".pub"_s).simplified().split(' ');
    return fields.size() >= 2 ? fields.at(0) + ' ' + fields.at(1) : QByteArray();
}

QByteArray SshServer::knownHostsLine() const
{
    const QByteArray host
        = m_port == 22 ? QByteArray("127.0.0.1") : "[127.0.0.1]:" + QByteArray::number(m_port);
    return host + ' ' + hostKeyLine();
}

bool SshServer::authorizeKey(const QByteArray &publicKey)
{
    const QByteArray key = publicKey.trimmed();
    if (key.isEmpty() || key.contains('\n') || key.contains('\r') || key.count(' ') < 1)
        return false;
    m_authorizedKeys.append(key);
    // Written whole, so that sshd never reads half a line; it reads the file at every login.
    return writeServerFiles();
}

QString SshServer::log() const
{
    collectLog();
    // sshd ends the lines it writes to standard error with "\r\n".
    return QString::fromLocal8Bit(m_log).replace(u"\r\n"_s, u"\n"_s);
}

void SshServer::installClientFiles(
    const QString &dataDirectory, quint16 localPort, const QString &mapKey, const QString &unlockHost) const
{
    if (!QFileInfo::exists(dataDirectory)) {
        QDir().mkpath(dataDirectory);
        QFile::setPermissions(dataDirectory, ownerOnly | QFileDevice::ExeOwner);
    }
    const QJsonObject config {
        { u"ssh_host"_s, u"127.0.0.1"_s },
        { u"ssh_user"_s, userName() },
        { u"ssh_port"_s, int(m_port) },
        { u"local_port"_s, int(localPort) },
        { u"remote_port"_s, int(m_options.forwardPort) },
        { u"unlock_host"_s, unlockHost },
    };
    const ClientFile files[] = {
        { u"anontun"_s, devicePrivateKey(), ownerOnly },
        { u"anontun.pub"_s, devicePublicKey() + '\n', readableByAll },
        { u"anon-map.key"_s, mapKey.toUtf8() + '\n', ownerOnly },
        { u"server-ca.pem"_s,
            "-----BEGIN CERTIFICATE-----\nVmV0cm9uIHRlc3QgY2VydGlmaWNhdGU=\n-----END CERTIFICATE-----\n",
            readableByAll },
        { u"ca.thumbprint"_s, "3F2A9C0E5B7D1486AC2E9F0B3D5C7A1E6B8D4F20", readableByAll },
        { u"known_hosts"_s, knownHostsLine() + '\n', readableByAll },
        { u"config.json"_s, QJsonDocument(config).toJson(QJsonDocument::Compact), readableByAll },
    };
    const QDir directory(dataDirectory);
    for (const auto &file : files) {
        if (!writeFile(directory.filePath(file.name), file.content, file.permissions))
            qWarning() << "SshServer: could not write" << directory.filePath(file.name);
    }
}

quint16 SshServer::pickFreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress(QHostAddress::LocalHost), 0) ? probe.serverPort() : 0;
}

QString SshServer::path(const QString &name) const
{
    return QDir(m_directory).filePath(name);
}

QString SshServer::hostKeyPath() const
{
    return m_options.hostKey.isEmpty() ? path(hostKeyName) : m_options.hostKey;
}

bool SshServer::makeKeys()
{
    QStringList keys { hostKeyPath() };
    if (m_options.deviceKey)
        keys << devicePrivateKeyPath();
    for (const QString &key : std::as_const(keys)) {
        if (QFile::exists(key))
            continue;
        QDir().mkpath(QFileInfo(key).path());
        const QStringList arguments { u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, QString(), u"-C"_s,
            u"vetron-%1"_s.arg(QFileInfo(key).fileName()), u"-f"_s, key };
        const QString problem = runTool(sshKeygen, arguments);
        if (!problem.isEmpty())
            return fail(problem);
    }
    return true;
}

bool SshServer::writeServerFiles()
{
    const QByteArray forwardTarget = "127.0.0.1:" + QByteArray::number(m_options.forwardPort);
    QList<QByteArray> keys = m_authorizedKeys;
    if (m_options.deviceKey)
        keys.prepend(devicePublicKey());
    QByteArray authorizedKeys;
    for (const QByteArray &key : std::as_const(keys))
        authorizedKeys += "restrict,port-forwarding,permitopen=\"" + forwardTarget + "\" " + key + '\n';
    if (!writeFile(path(authorizedKeysName), authorizedKeys, readableByAll))
        return fail(u"could not write %1"_s.arg(path(authorizedKeysName)));

    const QString config = QStringList {
        u"ListenAddress 127.0.0.1"_s,
        u"Port %1"_s.arg(m_port),
        u"HostKey %1"_s.arg(quoted(hostKeyPath())),
        u"PidFile %1"_s.arg(quoted(path(pidFileName))),
        u"AuthorizedKeysFile %1"_s.arg(quoted(path(authorizedKeysName))),
        u"StrictModes no"_s,
        u"PubkeyAuthentication yes"_s,
        u"AuthenticationMethods publickey"_s,
        u"PasswordAuthentication no"_s,
        u"KbdInteractiveAuthentication no"_s,
        u"UsePAM no"_s,
        u"PermitRootLogin prohibit-password"_s,
        u"AllowTcpForwarding local"_s,
        u"PermitOpen %1"_s.arg(QString::fromLatin1(forwardTarget)),
        u"AllowAgentForwarding no"_s,
        u"AllowStreamLocalForwarding no"_s,
        u"X11Forwarding no"_s,
        u"PermitTunnel no"_s,
        u"PermitTTY no"_s,
        u"PrintMotd no"_s,
        u"PrintLastLog no"_s,
        u"UseDNS no"_s,
        u"LogLevel VERBOSE"_s,
    }.join(u'\n') + u'\n';
    if (!writeFile(path(configName), config.toUtf8(), ownerOnly))
        return fail(u"could not write %1"_s.arg(path(configName)));
    return true;
}

bool SshServer::launch()
{
    // sshd refuses to start without its privilege-separation directory, which only a running system
    // service would otherwise have made.
    if (::mkdir(QFile::encodeName(privilegeSeparationDirectory).constData(), 0755) == 0)
        m_madePrivilegeSeparationDirectory = true;
    else if (errno != EEXIST)
        return fail(u"could not create %1: %2"_s.arg(privilegeSeparationDirectory, qt_error_string(errno)));

    const auto logStart = m_log.size();
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(sshd);
    m_process->setArguments({ u"-D"_s, u"-e"_s, u"-f"_s, path(configName) });
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start();
    if (!m_process->waitForStarted(toolLimitMs)) {
        const QString reason = m_process->errorString();
        m_process.reset();
        return fail(u"%1 did not start: %2"_s.arg(sshd, reason));
    }

    const QByteArray listening = "Server listening on 127.0.0.1 port " + QByteArray::number(m_port) + '.';
    const QDeadlineTimer deadline(listenLimitMs);
    while (!deadline.hasExpired()) {
        if (m_process->state() == QProcess::NotRunning) {
            const int status = m_process->exitCode();
            stop();
            return fail(u"sshd exited with status %1"_s.arg(status));
        }
        collectLog();
        // The log line rules out a stranger that took the port before sshd could bind it.
        if (m_log.indexOf(listening, logStart) >= 0 && acceptsConnections(m_port))
            return true;
        m_process->waitForFinished(50);
    }
    stop();
    return fail(u"sshd did not listen on 127.0.0.1:%1 within %2 ms"_s.arg(m_port).arg(listenLimitMs));
}

bool SshServer::fail(const QString &message)
{
    m_lastError = message;
    const QString output = log().trimmed();
    if (!output.isEmpty())
        m_lastError += u"\nsshd said:\n"_s + output;
    return false;
}

void SshServer::collectLog() const
{
    if (m_process)
        m_log += m_process->readAllStandardError();
}

} // namespace Vetron::LocalStack
