#pragma once

#include <QCoroTask>
#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace Vetron {

// One client per user. The running client holds an advisory lock on a file in its data
// directory for its whole life (the system drops it when the process ends, however it ends, so
// a crash leaves no stale lock) and listens on a local socket beside it. A later start finds the
// lock taken and, instead of touching proxies, ssh or files, asks the running client over that
// socket to bring its window forward.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // How long a later start waits for the running client to connect and answer.
    static constexpr int answerTimeoutMs = 5000;

    // `lockFile` is made (with its folder, 0700) when missing; `serverName` is a local socket's
    // path, see serverName().
    SingleInstance(QString lockFile, QString serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock without waiting. True when this process now holds it (it then listens for
    // later starts), false when another process holds it. Throws FileError when the lock file
    // cannot be made or locked.
    bool claim();

    // For a later start: asks the lock's holder to bring its window forward. True once the
    // holder answered that it did; false when it did not within `answerTimeoutMs`.
    QCoro::Task<bool> askHolderToShowWindow();

    // `preferred` when that path fits a local socket's address; otherwise a shorter name in the
    // temporary folder, made from the user's id and `preferred`, so it stays one per data directory.
    static QString serverName(const QString &preferred);

Q_SIGNALS:
    // A later start asked for the window; it hears back once the handlers have run.
    void showWindowRequested();

private:
    void answer(QLocalSocket *socket);

    QString m_lockFile;
    QString m_serverName;
    int m_descriptor = -1;
    QLocalServer m_server;
};

} // namespace Vetron
