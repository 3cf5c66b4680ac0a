// Runs the local stack until SIGINT or SIGTERM: prints its services and the one-time key, writes
// the values a client build and its run need to <directory>/stack.env, then prints what happens
// (a device enrolled, the system proxies changed) as it happens.

#include "Stack.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// A signal only writes a byte; the event loop reads it and quits, so that everything is stopped
// from ordinary code.
int signalSockets[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

bool catchStopSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef __linux__
    // Whoever started the stack may end without stopping it; the stack then stops as well.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"vetron-local-stack"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Every service the Vetron client talks to, on 127.0.0.1 with ports the system assigns."_s);
    parser.addHelpOption();
    const QCommandLineOption directoryOption(u"directory"_s, u"The run's folder (required)."_s, u"DIR"_s);
    const QCommandLineOption hostKeyOption(u"host-key"_s, u"sshd's host key, kept across runs."_s, u"FILE"_s,
        QStringLiteral(VETRON_LOCAL_STACK_HOST_KEY));
    const QCommandLineOption releaseKeyOption(u"release-key"_s, u"The release-signing private key (PEM)."_s,
        u"FILE"_s, QStringLiteral(VETRON_RELEASE_PRIVATE_KEY));
    const QCommandLineOption versionOption(
        u"client-version"_s, u"The client's version."_s, u"VERSION"_s, QStringLiteral(VETRON_VERSION));
    const QCommandLineOption desktopOption(u"desktop"_s,
        u"The client switches its own desktop session's proxy settings, not the networksetup stand-in's."_s);
    const QCommandLineOption clientOption(u"client"_s,
        u"The client the offered release starts once installed, at the release's version."_s, u"PROGRAM"_s);
    parser.addOptions(
        { directoryOption, hostKeyOption, releaseKeyOption, versionOption, desktopOption, clientOption });
    parser.process(application);

    QTextStream out(stdout);
    QTextStream errors(stderr);
    if (!parser.isSet(directoryOption)) {
        errors << "vetron-local-stack: --directory is required" << Qt::endl;
        return 2;
    }
    if (!catchStopSignals()) {
        errors << "vetron-local-stack: cannot catch SIGINT and SIGTERM" << Qt::endl;
        return 1;
    }
    QSocketNotifier stopRequested(signalSockets[1], QSocketNotifier::Read);
    QObject::connect(&stopRequested, &QSocketNotifier::activated, &application, [] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signalSockets[1], &byte, 1);
        QCoreApplication::quit();
    });

    const QString directory = QDir(parser.value(directoryOption)).absolutePath();
    Vetron::LocalStack::Stack stack({ directory, parser.value(hostKeyOption), parser.value(releaseKeyOption),
        parser.value(versionOption), QStringLiteral(VETRON_STANDIN_DIR), parser.isSet(desktopOption),
        parser.isSet(clientOption) ? QFileInfo(parser.value(clientOption)).absoluteFilePath() : QString() });
    QObject::connect(&stack, &Vetron::LocalStack::Stack::happened, &application,
        [&out](const QString &line) { out << u"[службы] "_s << line << Qt::endl; });
    if (!stack.start()) {
        errors << "vetron-local-stack: " << stack.error() << Qt::endl;
        return 1;
    }
    const QString environment = QDir(directory).filePath(u"stack.env"_s);
    QSaveFile file(environment);
    if (!file.open(QIODevice::WriteOnly) || file.write(stack.environment()) < 0 || !file.commit()) {
        errors << "vetron-local-stack: cannot write " << environment << Qt::endl;
        return 1;
    }
    out << stack.banner() << Qt::endl;

    const int status = QCoreApplication::exec();
    QFile::remove(environment);
    out << u"Ветрон: локальные службы остановлены."_s << Qt::endl;
    return status;
}
