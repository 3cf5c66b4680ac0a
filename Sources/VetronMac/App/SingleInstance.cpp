#include "App/SingleInstance.h"

#include "Foundation/ClientPaths.h"
#include "Foundation/Error.h"

#include <QCoroLocalSocket>
#include <QCoroTimer>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTextStream>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Vetron {
namespace {

constexpr char showRequest[] = "show\n";
constexpr char shownAnswer[] = "shown";
constexpr qint64 longestLine = 64;

std::chrono::milliseconds remaining(const QDeadlineTimer &deadline)
{
    return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

SingleInstance::SingleInstance(QString lockFile, QString serverName, QObject *parent)
    : QObject(parent)
    , m_lockFile(std::move(lockFile))
    , m_serverName(std::move(serverName))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

SingleInstance::~SingleInstance()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool SingleInstance::claim()
{
    ClientPaths::createPrivateDirectory(QFileInfo(m_lockFile).path(), true);
    // Close-on-exec: an ssh or a relaunch script started later must not inherit the lock and
    // keep it after this process has ended.
    const int descriptor
        = ::open(QFile::encodeName(m_lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        throw FileError::fromErrno(u"Не удалось открыть файл"_s, m_lockFile);
    int result;
    do
        result = ::flock(descriptor, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int code = errno;
        ::close(descriptor);
        if (code == EWOULDBLOCK)
            return false;
        throw FileError::fromErrno(u"Не удалось занять файл"_s, m_lockFile, code);
    }
    m_descriptor = descriptor;

    // A socket left behind by a client that died belongs to nobody now: the lock says so.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_serverName)) {
        // The lock alone keeps a second client away; only its window request goes unheard.
        QTextStream(stderr) << u"Ветрон: повторный запуск не сможет показать окно — %1\n"_s.arg(
            m_server.errorString());
    }
    return true;
}

QCoro::Task<bool> SingleInstance::askHolderToShowWindow()
{
    const QDeadlineTimer deadline(answerTimeoutMs);
    QLocalSocket socket;
    // The holder may have just taken the lock and not be listening yet: try again until the
    // deadline.
    for (;;) {
        socket.connectToServer(m_serverName);
        if (socket.state() == QLocalSocket::ConnectingState)
            co_await qCoro(socket).waitForConnected(remaining(deadline));
        if (socket.state() == QLocalSocket::ConnectedState)
            break;
        socket.abort();
        if (deadline.hasExpired())
            co_return false;
        co_await QCoro::sleepFor(100ms);
    }
    socket.write(showRequest);
    const QByteArray answer = co_await qCoro(socket).readLine(longestLine, remaining(deadline));
    co_return answer.trimmed() == shownAnswer;
}

void SingleInstance::answer(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > longestLine)
            socket->abort();
        return;
    }
    if (socket->readLine(longestLine + 1) == showRequest) {
        Q_EMIT showWindowRequested();
        socket->write(shownAnswer);
        socket->write("\n");
    }
    socket->disconnectFromServer();
}

QString SingleInstance::serverName(const QString &preferred)
{
    if (QFile::encodeName(preferred).size() < qsizetype(sizeof(sockaddr_un::sun_path)))
        return preferred;
    const QByteArray digest
        = QCryptographicHash::hash(preferred.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir::temp().filePath(
        u"vetron-%1-%2.socket"_s.arg(QString::number(::getuid()), QString::fromLatin1(digest)));
}

} // namespace Vetron
