#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Vetron::LaunchOptions {

inline constexpr char renderPreviewsSwitch[] = "--render-previews";
inline constexpr char localStackSwitch[] = "--local-stack";

// The directory to render previews into: the argument after the first "--render-previews" in
// `arguments` (the program's own name first, as QCoreApplication::arguments() gives them).
// Nothing when the switch is absent or is the last argument: the application starts normally.
std::optional<QString> previewDirectory(const QStringList &arguments);

// The local stack's folder: the argument after the first "--local-stack", by the same rule.
// Only builds that take developer options act on it.
std::optional<QString> localStackFolder(const QStringList &arguments);

} // namespace Vetron::LaunchOptions
