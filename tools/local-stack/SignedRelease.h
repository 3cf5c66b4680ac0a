#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace Vetron::LocalStack {

// A release the account portal offers, for macOS and for Linux: each its file, the path it is
// served at, and the manifest that names it, signed with the release-signing key the way the
// client checks it.
//
// What the release installs is a launcher at the place the client relaunches after an update:
// "Applications/Ветрон.app" in the user's home (the installer stand-in unpacks the package there)
// and "usr/bin/vetron" under the pkexec stand-in's root. It writes its process number to
// <stack>/client.pid and becomes this build's client at the release's version, against the stack.
struct SignedRelease
{
    QString version;
    QString path;
    QByteArray image;
    QByteArray manifest;
    QString linuxPath;
    QByteArray linuxPackage;
    QByteArray linuxManifest;

    struct Source
    {
        QString version;
        QUrl base;              // the portal the files are served from
        QString privateKey;     // PEM, the release-signing key
        QString workDirectory;  // where the files are put together
        QString client;         // the client the launcher starts; it only fails without one
        QString stackDirectory; // the stack's folder, handed to the client as "--local-stack"
    };

    // The image is what the hdiutil stand-in mounts, a tar archive holding "Vetron.pkg", itself a
    // tar archive of the application; the Linux package is a tar archive of the launcher. Nothing,
    // with the reason in `problem`, when a file cannot be written or tar or openssl fails.
    static std::optional<SignedRelease> make(const Source &source, QString *problem);
};

// `version` with its last number one higher: "0.9.0" gives "0.9.1".
QString nextPatchVersion(const QString &version);

} // namespace Vetron::LocalStack
