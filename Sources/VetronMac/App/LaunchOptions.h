#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Vetron::LaunchOptions {

inline constexpr char renderPreviewsSwitch[] = "--render-previews";

// The directory to render previews into: the argument after the first "--render-previews" in
// `arguments` (the program's own name first, as QCoreApplication::arguments() gives them).
// Nothing when the switch is absent or is the last argument: the application starts normally.
std::optional<QString> previewDirectory(const QStringList &arguments);

} // namespace Vetron::LaunchOptions
