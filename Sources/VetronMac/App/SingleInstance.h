#pragma once

#include "App/ClientCommand.h"

#include <QCoroTask>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>

class QLocalSocket;

namespace Vetron {

// One client per user. The running client holds an advisory lock on a file in its data
// directory for its whole life (the system drops it when the process ends, however it ends, so
// a crash leaves no stale lock) and listens on a local socket beside it, only for this user. A
// later start finds the lock taken and, instead of touching proxies, ssh or files, asks the
// running client over that socket to bring its window forward; the command line asks it the
// other verbs the same way.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // How long the asking side waits for the running client to connect and answer: a switch
    // may wait for the user's password, the rest answers at once.
    static constexpr std::chrono::milliseconds quickAnswerTimeout { 5000 };
    static constexpr std::chrono::milliseconds switchAnswerTimeout { 5 * 60 * 1000 };

    // What the running client does for a verb it was asked.
    using Handler = std::function<QCoro::Task<ClientCommand::Answer>(ClientCommand::Verb)>;

    struct Reply
    {
        enum class Outcome { answered, notRunning, noAnswer };
        Outcome outcome = Outcome::noAnswer;
        ClientCommand::Answer answer;
    };

    // `lockFile` is made (with its folder, 0700) when missing; `serverName` is a local socket's
    // path, see serverName().
    SingleInstance(QString lockFile, QString serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock without waiting. True when this process now holds it (it then listens for
    // later starts), false when another process holds it. Throws FileError when the lock file
    // cannot be made or locked.
    bool claim();

    // The holder's answers come from `handler`; a request heard before there is one goes
    // unanswered.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    // Asks the running client `verb` and waits for its answer. After claim() found the lock
    // taken, the holder may not be listening yet and is tried again until the timeout; without
    // that, a socket nobody listens on means no client is running.
    QCoro::Task<Reply> ask(ClientCommand::Verb verb);

    // `preferred` when that path fits a local socket's address; otherwise a shorter name in the
    // temporary folder, made from the user's id and `preferred`, so it stays one per data directory.
    static QString serverName(const QString &preferred);

private:
    void read(QLocalSocket *socket);
    QCoro::Task<> serve(QPointer<QLocalSocket> socket, ClientCommand::Verb verb);

    QString m_lockFile;
    QString m_serverName;
    int m_descriptor = -1;
    bool m_heldByAnother = false;
    QLocalServer m_server;
    Handler m_handler;
};

} // namespace Vetron
