#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Vetron::LaunchOptions {

inline constexpr char renderPreviewsSwitch[] = "--render-previews";
inline constexpr char localStackSwitch[] = "--local-stack";
inline constexpr char activateSwitch[] = "--activate";
inline constexpr char hiddenSwitch[] = "--hidden";
inline constexpr char installedVersionSwitch[] = "--installed-version";
inline constexpr char updateSwitch[] = "--update";

// The directory to render previews into: the argument after the first "--render-previews" in
// `arguments` (the program's own name first, as QCoreApplication::arguments() gives them).
// Nothing when the switch is absent or is the last argument: the application starts normally.
std::optional<QString> previewDirectory(const QStringList &arguments);

// The local stack's folder: the argument after the first "--local-stack", by the same rule.
// Only builds that take developer options act on it.
std::optional<QString> localStackFolder(const QStringList &arguments);

// A one-time key to enroll with at start, as if typed on the activation screen: the argument
// after the first "--activate", by the same rule. For driving a build without its window; only
// builds that take developer options act on it.
std::optional<QString> activationKey(const QStringList &arguments);

// Whether "--hidden" is among `arguments` (the program's name aside): the window starts closed, as
// after the user closed it to the menu bar. Only builds that take developer options act on it.
bool startsHidden(const QStringList &arguments);

// The version this build was installed as, shown and compared with releases in place of the
// build's own: the argument after the first "--installed-version", by the same rule. A release of
// the local stack starts this build with the release's version. Only builds that take developer
// options act on it.
std::optional<QString> installedVersion(const QStringList &arguments);

// Whether "--update" is among `arguments`: once protection is on, the client checks for updates
// and installs the release offered, as if the user had chosen to install it and accepted the
// agreement. For driving a build without its window; only builds that take developer options act
// on it.
bool installsOfferedUpdate(const QStringList &arguments);

} // namespace Vetron::LaunchOptions
