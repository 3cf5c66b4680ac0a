#include "ClientProcess.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

ClientProcess::ClientProcess(
    QString program, QString profile, QProcessEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_profile(std::move(profile))
{
    const QDir home(m_profile);
    const QList<std::pair<QString, QString>> folders { { u"XDG_CONFIG_HOME"_s, u".config"_s },
        { u"XDG_DATA_HOME"_s, u".local/share"_s }, { u"XDG_CACHE_HOME"_s, u".cache"_s },
        { u"XDG_STATE_HOME"_s, u".local/state"_s }, { u"XDG_RUNTIME_DIR"_s, u"runtime"_s },
        { u"TMPDIR"_s, u"tmp"_s } };
    environment.insert(u"HOME"_s, m_profile);
    for (const auto &[variable, folder] : folders) {
        home.mkpath(folder);
        environment.insert(variable, home.filePath(folder));
    }
    // The keychain folder the security stand-in wants; a private runtime folder, as Qt asks.
    home.mkpath(u"Library/Keychains"_s);
    QFile::setPermissions(home.filePath(u"runtime"_s),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);

    m_process.setProgram(std::move(program));
    m_process.setProcessEnvironment(environment);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_log.setFileName(home.filePath(u"client-output.log"_s));
    m_process.setStandardOutputFile(m_log.fileName(), QIODevice::Append);
    m_process.setStandardErrorFile(m_log.fileName(), QIODevice::Append);
    m_reading.setInterval(20);
    connect(&m_reading, &QTimer::timeout, this, &ClientProcess::read);
    connect(&m_process, &QProcess::finished, this, &ClientProcess::ended);
}

ClientProcess::~ClientProcess()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(-1);
    }
}

void ClientProcess::start(const QStringList &arguments)
{
    m_pending.clear();
    // What earlier clients of the profile wrote is theirs.
    if (!m_log.isOpen()) {
        QFile(m_log.fileName()).open(QIODevice::Append);
        if (m_log.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            m_log.seek(m_log.size());
    }
    m_reading.start();
    m_process.setArguments(arguments);
    m_process.start();
}

void ClientProcess::kill()
{
    m_process.kill();
}

QString ClientProcess::dataDirectory() const
{
    return QDir(m_profile).filePath(u".local/share/Vetron"_s);
}

void ClientProcess::read()
{
    const QByteArray chunk = m_log.readAll();
    if (chunk.isEmpty())
        return;
    m_output += chunk;
    m_pending += chunk;
    for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1)) {
        const QString line = QString::fromUtf8(m_pending.left(end));
        // "Ветрон: <state> — <text>"; other lines (the first frame drawn) are output only.
        if (line.startsWith(u"Ветрон: "_s) && line.contains(u" — "_s)) {
            m_reports << line;
            Q_EMIT reported(line);
        }
    }
}

} // namespace Vetron::LocalStack
