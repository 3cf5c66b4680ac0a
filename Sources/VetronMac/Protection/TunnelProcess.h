#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Models.h"
#include "Platform/ToolPaths.h"
#include "Protection/TunnelTimings.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QUuid>

#include <functional>

namespace Vetron {

// The tunnel's ssh child: its arguments, its launch, its last standard-error line, stopping it,
// and ending one that an earlier run of the client left behind. Every launch has an id; stopping
// or beginning another launch retires it, and a forward proven for a retired launch counts no
// more.
class TunnelProcess : public QObject
{
    Q_OBJECT

public:
    TunnelProcess(ToolPaths tools, TunnelTimings timings, QObject *parent = nullptr);
    ~TunnelProcess() override;

    // The 22 arguments of the ssh child for `config`.
    static QStringList sshArguments(const ClientConfig &config);

    // Retires the current launch and returns the id of the next one.
    QUuid beginLaunch();
    bool isLaunch(const QUuid &id) const { return m_launch == id; }
    const QUuid &launchId() const { return m_launch; }

    // Starts ssh for `config` as launch `id`; the child is not yet the running one (see `adopt`).
    // `exited` carries `id` when it ends.
    QCoro::Task<QPointer<QProcess>> launch(ClientConfig config, QUuid id);
    // Makes `process` the running ssh and writes its pid file.
    void adopt(QPointer<QProcess> process);
    // Ends a launched child that nobody will adopt.
    void discard(QProcess *process);
    // Suspends until the local forward of `process` listens, at most one canary interval, or
    // until that ssh has stopped.
    QCoro::Task<> awaitForward(quint16 port, QPointer<QProcess> process);

    // Asks the running ssh to end, retiring its launch, and waits a bounded time for it.
    QCoro::Task<> stop();
    // Ends an ssh that an earlier run of the client left behind on the local port: the process
    // named by the pid file, if its command line is exactly the one `config` launches.
    QCoro::Task<> stopLeftover(ClientConfig config);

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    bool runs(const QPointer<QProcess> &process) const { return m_process == process && isRunning(); }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    const QString &lastError() const { return m_lastError; }

    // Records that a canary answered through launch `id` on `port`.
    void proveForward(const QUuid &id, quint16 port);
    // Throws the refused connection's NetworkError unless the ssh running now is the one through
    // which a canary has answered on `port`: only then does no other program listen there.
    void requireOwnForward(quint16 port) const;

Q_SIGNALS:
    void exited(QUuid launch);

private:
    // Polls `ended` at the stop intervals until it holds, the checks run out or this goes away.
    QCoro::Task<> waitUntil(std::function<bool()> ended);
    void readStandardError(QProcess *process);
    void release(QProcess *process);

    ToolPaths m_tools;
    TunnelTimings m_timings;
    QPointer<QProcess> m_process;
    QUuid m_launch = QUuid::createUuid();
    QUuid m_provenLaunch;     // the launch a canary has answered through
    quint16 m_provenPort = 0; // and the port it answered on
    QString m_lastError;
    QMetaObject::Connection m_stderrReader;
    // Cancelled when this goes away: a suspended operation checks it before it touches this again.
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
