// Linked into every test executable as an object file (never taken from an archive), so that its
// start-up code always runs, before main and before anything reads a standard location.

#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::Test {
namespace {

// Taken once, before any test can change TMPDIR.
const QString &systemTemporaryDirectory()
{
    static const QString *const directory = []() {
        const char *tmp = std::getenv("TMPDIR");
        return new QString(QFileInfo(QString::fromLocal8Bit(tmp && *tmp ? tmp : "/tmp")).canonicalFilePath());
    }();
    return *directory;
}

QString makeProfile()
{
    QByteArray pattern = QFile::encodeName(systemTemporaryDirectory() + u"/vetron-test-XXXXXX"_s);
    if (!::mkdtemp(pattern.data())) {
        std::perror("vetron test profile");
        std::abort();
    }
    const QString home = QFile::decodeName(pattern);
    for (const auto &[variable, folder] :
        { std::pair { "XDG_DATA_HOME", "/.local/share" }, std::pair { "XDG_CONFIG_HOME", "/.config" },
            std::pair { "XDG_CACHE_HOME", "/.cache" }, std::pair { "XDG_STATE_HOME", "/.local/state" } }) {
        QDir().mkpath(home + QLatin1StringView(folder));
        qputenv(variable, QFile::encodeName(home + QLatin1StringView(folder)));
    }
    qputenv("HOME", QFile::encodeName(home));
    // Temporary files of the code under test (update images, proofs, QTemporaryDir) stay inside
    // the profile as well, and go with it.
    const QString temporary = home + u"/tmp"_s;
    QDir().mkpath(temporary);
    qputenv("TMPDIR", QFile::encodeName(temporary));
    QDir().mkpath(home + u"/Library/Keychains"_s); // where a Mac keeps the login keychain
    // The runtime folder must be private to the user, or Qt complains on every start.
    const QString runtime = home + u"/.runtime"_s;
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    // No session bus of the machine's: its settings service would write the real user's desktop
    // settings whatever HOME says. A test that needs one starts a private session.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(runtime + u"/no-session-bus"_s));
    QStandardPaths::setTestModeEnabled(true);
#ifdef Q_OS_MACOS
    // The native preferences store ignores HOME; INI files in the profile do not. Elsewhere the
    // native store is the very file the client writes.
    QSettings::setDefaultFormat(QSettings::IniFormat);
#endif
    // Where a client started by the test looks too (test mode would say ~/.qttest/config).
    QSettings::setPath(QSettings::defaultFormat(), QSettings::UserScope, home + u"/.config"_s);
    return home;
}

// Never destroyed, so that the removal at exit still finds it.
const QString *const profile = []() {
    const auto *home = new QString(makeProfile());
    std::atexit([]() { removeTemporaryTree(*profile); });
    return home;
}();

} // namespace

QString temporaryHome()
{
    return *profile;
}

bool removeTemporaryTree(const QString &path)
{
    const QString &temporary = systemTemporaryDirectory();
    const QString target = QFileInfo(path).absoluteFilePath();
    const QString resolved
        = QFileInfo::exists(target) ? QFileInfo(target).canonicalFilePath() : QDir::cleanPath(target);
    if (temporary.isEmpty() || temporary == u"/"_s || !resolved.startsWith(temporary + u'/')) {
        std::fprintf(
            stderr, "refusing to remove %s: it is outside %s\n", qPrintable(path), qPrintable(temporary));
        std::abort();
    }
    return QDir(resolved).removeRecursively();
}

} // namespace Vetron::Test
