#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace Vetron::LocalStack {

// A release the account portal offers, for macOS and for Linux: each its file, the path it is
// served at, and the manifest that names it, signed with the release-signing key the way the
// client checks it.
struct SignedRelease
{
    QString version;
    QString path;
    QByteArray image;
    QByteArray manifest;
    QString linuxPath;
    QByteArray linuxPackage;
    QByteArray linuxManifest;

    // A release of `version` served from `base`. Its image is what the hdiutil stand-in mounts,
    // a tar archive holding "Vetron.pkg"; its Linux package is what the pkexec stand-in takes.
    // The manifests are signed with the PEM private key in `privateKey`. Made in
    // `workDirectory`; nothing, with the reason in `problem`, when tar or openssl fails.
    static std::optional<SignedRelease> make(const QString &version, const QUrl &base,
        const QString &privateKey, const QString &workDirectory, QString *problem);
};

// `version` with its last number one higher: "0.9.0" gives "0.9.1".
QString nextPatchVersion(const QString &version);

} // namespace Vetron::LocalStack
