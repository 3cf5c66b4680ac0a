#include "Platform/LaunchAtLogin.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {
namespace {

// One argument of an Exec key: quoted, with the characters the quoting reserves escaped, then
// backslashes doubled by the general string escaping and '%' doubled so it is not a field code.
QString execArgument(const QString &argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', u"\\\\"_s);
    quoted.replace(u'%', u"%%"_s);
    return u'"' + quoted + u'"';
}

} // namespace

QByteArray autostartEntry(const QString &executable)
{
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name=Ветрон\n"
                          u"Exec="_s
        + execArgument(executable)
        + u"\n"
          u"Terminal=false\n"
          u"X-GNOME-Autostart-enabled=true\n"_s;
    return entry.toUtf8();
}

QString autostartEntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + u"/.config"_s;
    return config + u"/autostart/vetron.desktop"_s;
}

#ifndef Q_OS_MACOS
LaunchAtLogin LaunchAtLogin::system()
{
    return {
        .isEnabled = [] { return QFileInfo::exists(autostartEntryPath()); },
        .registerApplication =
            [] {
                const QString path = autostartEntryPath();
                const QString directory = QFileInfo(path).path();
                if (!QDir().mkpath(directory))
                    throw FileError::fromErrno(u"Не удалось создать папку"_s, directory);
                AtomicFile::write(
                    path, autostartEntry(QCoreApplication::applicationFilePath()), AtomicFile::readableByAll);
            },
    };
}
#endif

} // namespace Vetron::Platform
