#include "Foundation/ClientPaths.h"

#include "Foundation/Error.h"
#include "Foundation/Models.h"
#include "Platform/DataLocation.h"

#include <QFile>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace Vetron::ClientPaths {
namespace {

QString inRoot(const QString &name)
{
    return root() + u'/' + name;
}

} // namespace

const QString &root()
{
    static const QString path = Platform::userDataLocation() + u"/Vetron"_s;
    return path;
}

// clang-format off
const QString &config()      { static const QString p = inRoot(u"config.json"_s); return p; }
const QString &privateKey()  { static const QString p = inRoot(u"anontun"_s); return p; }
const QString &publicKey()   { static const QString p = inRoot(u"anontun.pub"_s); return p; }
const QString &mapKey()      { static const QString p = inRoot(u"anon-map.key"_s); return p; }
const QString &knownHosts()  { static const QString p = inRoot(u"known_hosts"_s); return p; }
const QString &serverCA()    { static const QString p = inRoot(u"server-ca.pem"_s); return p; }
const QString &proxyBackup() { static const QString p = inRoot(u"proxy-backup.json"_s); return p; }
const QString &proxyOwned()  { static const QString p = inRoot(u"proxy-owned"_s); return p; }
const QString &desktopProxyBackup() { static const QString p = inRoot(u"desktop-proxy-backup.json"_s); return p; }
const QString &desktopProxyOwned()  { static const QString p = inRoot(u"desktop-proxy-owned"_s); return p; }
const QString &sshPid()      { static const QString p = inRoot(u"ssh.pid"_s); return p; }
const QString &instanceLock()   { static const QString p = inRoot(u"vetron.lock"_s); return p; }
const QString &instanceSocket() { static const QString p = inRoot(u"vetron.socket"_s); return p; }
// clang-format on

const QStringList &enrollmentSet()
{
    static const QStringList names { u"anontun"_s, u"anontun.pub"_s, u"anon-map.key"_s, u"server-ca.pem"_s,
        u"ca.thumbprint"_s, u"known_hosts"_s, u"config.json"_s };
    return names;
}

const QStringList &coreSet()
{
    static const QStringList names { u"config.json"_s, u"anontun"_s, u"anontun.pub"_s, u"anon-map.key"_s,
        u"server-ca.pem"_s, u"known_hosts"_s };
    return names;
}

void createPrivateDirectory(const QString &directory, bool existingIsFine)
{
    const std::filesystem::path path(QFile::encodeName(directory).toStdString());

    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error)
        throw FileError::fromErrno(u"Не удалось создать папку"_s, directory, error.value());

    if (::mkdir(path.c_str(), 0700) == 0) {
        // mkdir applies the umask; make sure the owner keeps all three rights and nobody else any.
        if (::chmod(path.c_str(), 0700) != 0)
            throw FileError::fromErrno(u"Не удалось задать права папки"_s, directory);
        return;
    }
    const int mkdirError = errno;
    if (existingIsFine && mkdirError == EEXIST && std::filesystem::is_directory(path, error))
        return;
    throw FileError::fromErrno(u"Не удалось создать папку"_s, directory, mkdirError);
}

void prepare()
{
    createPrivateDirectory(root(), true);
}

bool hasCompleteActivation(const QString &directory)
{
    for (const QString &name : coreSet()) {
        std::error_code error;
        const auto size = std::filesystem::file_size((directory + u'/' + name).toStdString(), error);
        if (error || size < 1)
            return false;
    }

    QFile file(directory + u"/config.json"_s);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ClientConfig config;
    try {
        config = decodeJson<ClientConfig>(file.readAll());
    } catch (const DecodingError &) {
        return false;
    }
    return !config.sshHost.isEmpty() && !config.sshUser.isEmpty() && config.sshPort >= 1
        && config.localPort >= 1 && config.remotePort >= 1 && !config.unlockHost.isEmpty();
}

} // namespace Vetron::ClientPaths
