#pragma once

#include "Foundation/JsonCodec.h"

#include <QStringList>
#include <QUrl>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// The published release: what to download, its digest and the publisher's signature. Views read
// its members by name; an absent title or notes list reads as empty (see hasTitle, hasNotes).
struct MacReleaseManifest
{
    Q_GADGET
    QML_VALUE_TYPE(macReleaseManifest)
    Q_PROPERTY(QString version MEMBER version)
    Q_PROPERTY(QString url MEMBER url)
    Q_PROPERTY(QString sha256 MEMBER sha256)
    Q_PROPERTY(bool hasTitle READ hasTitle)
    Q_PROPERTY(QString title READ titleText)
    Q_PROPERTY(bool hasNotes READ hasNotes)
    Q_PROPERTY(QStringList notes READ notesList)

public:
    QString version;
    QString url; // an absolute URL, kept exactly as published: the signature covers this text
    QString sha256;
    QString signature;
    std::optional<QString> title;
    std::optional<QStringList> notes;

    QUrl address() const { return QUrl(url); }
    bool hasTitle() const { return title.has_value(); }
    QString titleText() const { return title.value_or(QString()); }
    bool hasNotes() const { return notes.has_value(); }
    QStringList notesList() const { return notes.value_or(QStringList()); }

    static MacReleaseManifest decode(const JsonReader &reader);
    QJsonObject toJson() const;
};

} // namespace Vetron
