#include "SignedRelease.h"

#include "Foundation/ScriptQuoting.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {
namespace {

QByteArray launcher(const SignedRelease::Source &source)
{
    if (source.client.isEmpty())
        return "#!/bin/sh\necho 'Ветрон: локальный стенд не знает, какой клиент запускать.' >&2\nexit 1\n";
    using ScriptQuoting::shellQuoted;
    return u"#!/bin/sh\n"
           "# Ветрон %1 as the local stack installs it: this build's client at that version.\n"
           "echo $$ > %2\n"
           "exec %3 --installed-version %4 --local-stack %5 \"$@\"\n"_s
               .arg(source.version, shellQuoted(QDir(source.stackDirectory).filePath(u"client.pid"_s)),
                   shellQuoted(source.client), shellQuoted(source.version),
                   shellQuoted(source.stackDirectory))
               .toUtf8();
}

QByteArray infoPropertyList(const QString &version)
{
    return uR"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Ветрон</string>
	<key>CFBundleIdentifier</key>
	<string>io.vetron.mac</string>
	<key>CFBundleShortVersionString</key>
	<string>%1</string>
</dict>
</plist>
)"_s.arg(version)
        .toUtf8();
}

// The file, or false with the reason in `problem`.
bool write(
    const QString &path, const QByteArray &content, QFileDevice::Permissions permissions, QString *problem)
{
    if (writeFile(path, content, permissions))
        return true;
    *problem = u"cannot write "_s + path;
    return false;
}

// A tar archive of `entry` in `directory`; nothing (with the reason in `problem`) when tar fails.
std::optional<QByteArray> archive(const QString &directory, const QString &entry, QString *problem)
{
    QByteArray bytes;
    *problem = runTool(u"/bin/tar"_s, { u"-cf"_s, u"-"_s, u"-C"_s, directory, entry }, {}, &bytes);
    if (!problem->isEmpty())
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<SignedRelease> SignedRelease::make(const Source &source, QString *problem)
{
    SignedRelease release { source.version, u"/static/releases/Vetron-macOS.dmg"_s, {}, {}, {}, {}, {} };
    const QDir work(source.workDirectory);
    const QString bundle = work.filePath(u"macos/Applications/Ветрон.app/Contents"_s);
    const QFileDevice::Permissions readable
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const QFileDevice::Permissions executable
        = readable | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    if (!write(bundle + u"/Info.plist"_s, infoPropertyList(source.version), readable, problem)
        || !write(bundle + u"/MacOS/Ветрон"_s, launcher(source), executable, problem)
        || !write(work.filePath(u"linux/usr/bin/vetron"_s), launcher(source), executable, problem))
        return std::nullopt;
    const std::optional<QByteArray> package = archive(work.filePath(u"macos"_s), u"Applications"_s, problem);
    if (!package || !write(work.filePath(u"image/Vetron.pkg"_s), *package, readable, problem))
        return std::nullopt;
    const std::optional<QByteArray> image = archive(work.filePath(u"image"_s), u"Vetron.pkg"_s, problem);
    const std::optional<QByteArray> linuxPackage = archive(work.filePath(u"linux"_s), u"usr"_s, problem);
    if (!image || !linuxPackage)
        return std::nullopt;
    release.image = *image;
    release.linuxPackage = *linuxPackage;

    const auto signedManifest = [&](const QString &path, const QByteArray &file,
                                    const QString &installation) {
        QUrl url = source.base;
        url.setPath(path);
        const QString address = url.toString();
        const QString sha256
            = QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
        const QByteArray message = (source.version + u'\n' + address + u'\n' + sha256).toUtf8();
        QByteArray signature;
        const QStringList sign { u"dgst"_s, u"-sha256"_s, u"-sign"_s, source.privateKey };
        *problem = runTool(u"/usr/bin/openssl"_s, sign, message, &signature);
        const QJsonObject manifest {
            { u"version"_s, source.version },
            { u"url"_s, address },
            { u"sha256"_s, sha256 },
            { u"signature"_s, QString::fromLatin1(signature.toBase64()) },
            { u"title"_s, u"Ветрон %1"_s.arg(source.version) },
            { u"notes"_s,
                QJsonArray { u"Выпуск локального стенда: подписан ключом этой сборки."_s, installation } },
        };
        return QJsonDocument(manifest).toJson(QJsonDocument::Compact);
    };
    release.manifest = signedManifest(
        release.path, release.image, u"Установка проходит через заменители hdiutil и installer."_s);
    if (!problem->isEmpty())
        return std::nullopt;
    release.linuxPath = u"/static/releases/vetron_%1_amd64.deb"_s.arg(source.version);
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
