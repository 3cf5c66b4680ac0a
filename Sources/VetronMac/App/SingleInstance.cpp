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

constexpr qint64 longestRequest = 64;
constexpr qint64 longestAnswer = 64 * 1024;

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
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
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
        if (code == EWOULDBLOCK) {
            m_heldByAnother = true;
            return false;
        }
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

QCoro::Task<SingleInstance::Reply> SingleInstance::ask(ClientCommand::Verb verb)
{
    const bool switching = verb == ClientCommand::Verb::on || verb == ClientCommand::Verb::off;
    const QDeadlineTimer deadline(switching ? switchAnswerTimeout : quickAnswerTimeout);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_serverName);
        if (socket.state() == QLocalSocket::ConnectingState)
            co_await qCoro(socket).waitForConnected(remaining(deadline));
        if (socket.state() == QLocalSocket::ConnectedState)
            break;
        const bool nobodyListens = socket.error() == QLocalSocket::ServerNotFoundError
            || socket.error() == QLocalSocket::ConnectionRefusedError;
        socket.abort();
        if (nobodyListens && !m_heldByAnother)
            co_return Reply { Reply::Outcome::notRunning, {} };
        if (deadline.hasExpired())
            co_return Reply {};
        co_await QCoro::sleepFor(100ms);
    }
    // A holder that ends mid-answer closes the socket without more to read: the wait for the
    // answer wakes on that too.
    QObject::connect(&socket, &QLocalSocket::disconnected, &socket, [&socket] { Q_EMIT socket.readyRead(); });
    socket.write(ClientCommand::nameOf(verb) + '\n');
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState || deadline.hasExpired()
            || socket.bytesAvailable() > longestAnswer)
            co_return Reply {};
        co_await qCoro(socket).waitForReadyRead(remaining(deadline));
    }
    const std::optional<ClientCommand::Answer> answer = ClientCommand::decode(socket.readLine(longestAnswer));
    if (!answer)
        co_return Reply {};
    co_return Reply { Reply::Outcome::answered, *answer };
}

void SingleInstance::read(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > longestRequest)
            socket->abort();
        return;
    }
    // One request a connection.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const std::optional<ClientCommand::Verb> verb
        = ClientCommand::verbNamed(socket->readLine(longestRequest + 1).trimmed());
    if (!verb || !m_handler) {
        socket->disconnectFromServer();
        return;
    }
    serve(socket, *verb);
}

QCoro::Task<> SingleInstance::serve(QPointer<QLocalSocket> socket, ClientCommand::Verb verb)
{
    const ClientCommand::Answer answer = co_await m_handler(verb);
    if (!socket)
        co_return;
    socket->write(ClientCommand::encode(answer) + '\n');
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
