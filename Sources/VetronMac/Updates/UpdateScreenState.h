#pragma once

#include "Updates/MacReleaseManifest.h"

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// The kinds of update state as views name them: UpdateStateKind.Available, .Downloading, …
namespace UpdateStateKindForViews {
Q_NAMESPACE
QML_NAMED_ELEMENT(UpdateStateKind)

enum Value : int { Available, Downloading, Downloaded, Failed, Idle, Checking, Current };
Q_ENUM_NS(Value)

} // namespace UpdateStateKindForViews

// What the updates screen shows. Views read `kind`, `manifest` (with `hasManifest`) and
// `message` by name.
struct UpdateScreenState {
    Q_GADGET
    QML_VALUE_TYPE(updateScreenState)
    Q_PROPERTY(Vetron::UpdateStateKindForViews::Value kind READ kindForViews)
    Q_PROPERTY(bool hasManifest READ hasManifest)
    // An empty manifest when the state carries none.
    Q_PROPERTY(Vetron::MacReleaseManifest manifest READ manifestValue)
    Q_PROPERTY(QString message MEMBER message)

public:
    enum class Kind { available, downloading, downloaded, failed, idle, checking, current };

    Kind kind = Kind::idle;
    std::optional<MacReleaseManifest> manifest; // available, downloading, downloaded
    QString message;                            // failed; while downloading, a note for the user

    static UpdateScreenState withManifest(Kind kind, MacReleaseManifest manifest) { return { kind, manifest, {} }; }
    static UpdateScreenState failed(QString message) { return { Kind::failed, std::nullopt, std::move(message) }; }
    static UpdateScreenState of(Kind kind) { return { kind, std::nullopt, {} }; }

    UpdateStateKindForViews::Value kindForViews() const { return UpdateStateKindForViews::Value(int(kind)); }
    bool hasManifest() const { return manifest.has_value(); }
    MacReleaseManifest manifestValue() const { return manifest.value_or(MacReleaseManifest()); }
};

static_assert(int(UpdateScreenState::Kind::current) == UpdateStateKindForViews::Current);

} // namespace Vetron
