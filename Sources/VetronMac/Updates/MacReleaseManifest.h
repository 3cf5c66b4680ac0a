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

} // namespace Vetron
