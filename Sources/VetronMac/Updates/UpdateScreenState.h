#pragma once

#include "Updates/MacReleaseManifest.h"

#include <optional>

namespace Vetron {

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

} // namespace Vetron
