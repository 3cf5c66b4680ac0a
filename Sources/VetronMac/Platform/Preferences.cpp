#include "Platform/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {
namespace {

#ifdef Q_OS_MACOS
// Qt turns an organisation "vetron.io" and an application "mac" into the domain "io.vetron.mac".
const QString organization = u"vetron.io"_s;
const QString application = u"mac"_s;
#else
const QString organization = u"Vetron"_s;
const QString application = u"Vetron"_s;
#endif

} // namespace

Preferences::Preferences()
    : QSettings(QSettings::defaultFormat(), QSettings::UserScope, organization, application)
{
}

void Preferences::carryOver()
{
    // The place earlier versions used: the application's name with no organisation.
    QSettings earlier(QSettings::defaultFormat(), QSettings::UserScope, QString(), u"Vetron"_s);
    // The application's own store only: not the organisation's, the system's, nor (on macOS) the
    // global domain, whose keys every application sees.
    earlier.setFallbacksEnabled(false);
    const QStringList keys = earlier.allKeys();
    if (keys.isEmpty())
        return;
    Preferences preferences;
    preferences.setFallbacksEnabled(false);
    for (const QString &key : keys) {
        if (!preferences.contains(key))
            preferences.setValue(key, earlier.value(key));
    }
    preferences.sync();
    if (preferences.status() != QSettings::NoError)
        return; // the old place keeps everything; the next start tries again
    for (const QString &key : keys)
        earlier.remove(key);
    earlier.sync();
#ifndef Q_OS_MACOS
    // An emptied file, and its folder when nothing else is in it, go too.
    const QString file = earlier.fileName();
    if (QFileInfo(file).size() == 0 && QFile::remove(file))
        QDir().rmdir(QFileInfo(file).path());
#endif
}

} // namespace Vetron::Platform
