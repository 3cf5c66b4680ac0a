#pragma once

#include "Updates/MacReleaseManifest.h"

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// What the updates screen shows. Views read `kind`, `manifest` (with `hasManifest`) and
// `message` by name.
struct UpdateScreenState
{
    Q_GADGET
    QML_VALUE_TYPE(updateScreenState)
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(bool hasManifest READ hasManifest)
    // An empty manifest when the state carries none.
    Q_PROPERTY(Vetron::MacReleaseManifest manifest READ manifestValue)
    Q_PROPERTY(QString message MEMBER message)

public:
    enum class Kind { available, downloading, downloaded, failed, idle, checking, current };
    Q_ENUM(Kind)

    Kind kind = Kind::idle;
    std::optional<MacReleaseManifest> manifest; // available, downloading, downloaded
    QString message;                            // failed; while downloading, a note for the user

    static UpdateScreenState withManifest(Kind kind, MacReleaseManifest manifest)
    {
        return { kind, manifest, {} };
    }
    static UpdateScreenState failed(QString message)
    {
        return { Kind::failed, std::nullopt, std::move(message) };
    }
    static UpdateScreenState of(Kind kind) { return { kind, std::nullopt, {} }; }

    bool hasManifest() const { return manifest.has_value(); }
    MacReleaseManifest manifestValue() const { return manifest.value_or(MacReleaseManifest()); }
};

} // namespace Vetron
