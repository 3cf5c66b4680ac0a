#include "BuildConstants.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vetron"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Vetron::BuildConstants::version));

    QTextStream(stdout) << QStringLiteral("Ветрон %1\n").arg(QCoreApplication::applicationVersion());
    return 0;
}
