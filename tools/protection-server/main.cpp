// Serves a local protection server until killed, for trying the client by hand.

#include "ProtectionServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"vetron-protection-server"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Local stand-in for the protection proxy behind the SSH tunnel."_s);
    parser.addHelpOption();
    const QCommandLineOption portOption(
        u"port"_s, u"Port on 127.0.0.1 (0: any free port)."_s, u"N"_s, u"0"_s);
    const QCommandLineOption keyOption(u"map-key"_s, u"Expected X-Anon-Key value."_s, u"KEY"_s);
    const QCommandLineOption unlockOption(
        u"unlock-host"_s, u"Pseudo-host that unlocks the map."_s, u"NAME"_s);
    parser.addOptions({ portOption, keyOption, unlockOption });
    parser.process(application);

    QTextStream errors(stderr);
    bool valid = false;
    const uint port = parser.value(portOption).toUInt(&valid);
    if (!valid || port > 65535) {
        errors << "invalid --port: " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    Vetron::Tools::ProtectionServer server;
    if (parser.isSet(keyOption))
        server.setMapKey(parser.value(keyOption));
    if (parser.isSet(unlockOption))
        server.setUnlockHost(parser.value(unlockOption));
    if (!server.listen(quint16(port))) {
        errors << "cannot listen on 127.0.0.1:" << port << Qt::endl;
        return 1;
    }

    QTextStream(stdout) << "listening on 127.0.0.1:" << server.port() << Qt::endl;
    return QCoreApplication::exec();
}
