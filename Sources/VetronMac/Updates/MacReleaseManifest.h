#pragma once

#include "Foundation/JsonCodec.h"

#include <QStringList>
#include <QUrl>

#include <optional>

namespace Vetron {

// The published release: what to download, its digest and the publisher's signature.
struct MacReleaseManifest {
    QString version;
    QString url; // an absolute URL, kept exactly as published: the signature covers this text
    QString sha256;
    QString signature;
    std::optional<QString> title;
    std::optional<QStringList> notes;

    QUrl address() const { return QUrl(url); }

    static MacReleaseManifest decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

// What the updates screen shows.
struct UpdateScreenState {
    enum class Kind { available, downloading, downloaded, failed, idle, checking, current };

    Kind kind = Kind::idle;
    std::optional<MacReleaseManifest> manifest; // available, downloading, downloaded
    QString message;                            // failed

    static UpdateScreenState withManifest(Kind kind, MacReleaseManifest manifest) { return { kind, manifest, {} }; }
    static UpdateScreenState failed(QString message) { return { Kind::failed, std::nullopt, std::move(message) }; }
    static UpdateScreenState of(Kind kind) { return { kind, std::nullopt, {} }; }
};

// How an installation ended: relaunching into the installed bundle, or failed with a message.
struct UpdateInstallOutcome {
    enum class Kind { relaunching, failed };

    Kind kind = Kind::failed;
    QString bundlePath; // relaunching
    QString message;    // failed

    static UpdateInstallOutcome relaunching(QString bundle) { return { Kind::relaunching, std::move(bundle), {} }; }
    static UpdateInstallOutcome failed(QString message) { return { Kind::failed, {}, std::move(message) }; }
};

} // namespace Vetron
