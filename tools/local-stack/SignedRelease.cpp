#include "SignedRelease.h"

#include "ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

std::optional<SignedRelease> SignedRelease::make(const QString &version, const QUrl &base,
    const QString &privateKey, const QString &workDirectory, QString *problem)
{
    SignedRelease release { version, u"/static/releases/Vetron-macOS.dmg"_s, {}, {}, {}, {}, {} };
    const QDir directory(workDirectory);
    QFile package(directory.filePath(u"Vetron.pkg"_s));
    if (!directory.mkpath(u"."_s) || !package.open(QIODevice::WriteOnly)
        || package.write("Ветрон " + version.toUtf8() + ", installer package of the local stack\n") < 0) {
        *problem = u"cannot write "_s + package.fileName();
        return std::nullopt;
    }
    package.close();
    const QStringList tar { u"-cf"_s, u"-"_s, u"-C"_s, workDirectory, u"Vetron.pkg"_s };
    *problem = runTool(u"/bin/tar"_s, tar, {}, &release.image);
    if (!problem->isEmpty())
        return std::nullopt;

    const auto signedManifest = [&](const QString &path, const QByteArray &file,
                                    const QString &installation) {
        QUrl url = base;
        url.setPath(path);
        const QString address = url.toString();
        const QString sha256
            = QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
        const QByteArray message = (version + u'\n' + address + u'\n' + sha256).toUtf8();
        QByteArray signature;
        const QStringList sign { u"dgst"_s, u"-sha256"_s, u"-sign"_s, privateKey };
        *problem = runTool(u"/usr/bin/openssl"_s, sign, message, &signature);
        const QJsonObject manifest {
            { u"version"_s, version },
            { u"url"_s, address },
            { u"sha256"_s, sha256 },
            { u"signature"_s, QString::fromLatin1(signature.toBase64()) },
            { u"title"_s, u"Ветрон %1"_s.arg(version) },
            { u"notes"_s,
                QJsonArray { u"Выпуск локального стенда: подписан ключом этой сборки."_s, installation } },
        };
        return QJsonDocument(manifest).toJson(QJsonDocument::Compact);
    };
    release.manifest = signedManifest(
        release.path, release.image, u"Установка проходит через заменители hdiutil и installer."_s);
    if (!problem->isEmpty())
        return std::nullopt;
    release.linuxPath = u"/static/releases/vetron_%1_amd64.deb"_s.arg(version);
    release.linuxPackage = "Ветрон " + version.toUtf8() + ", Debian package of the local stack\n";
    release.linuxManifest = signedManifest(
        release.linuxPath, release.linuxPackage, u"Установка проходит через заменитель pkexec."_s);
    if (!problem->isEmpty())
        return std::nullopt;
    return release;
}

QString nextPatchVersion(const QString &version)
{
    QStringList numbers = version.split(u'.');
    bool numeric = false;
    const int last = numbers.constLast().toInt(&numeric);
    numbers.last() = QString::number(numeric ? last + 1 : 1);
    return numbers.join(u'.');
}

} // namespace Vetron::LocalStack
