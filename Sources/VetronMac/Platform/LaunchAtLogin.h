#pragma once

#include <QString>

#include <functional>

namespace Vetron::Platform {

// Starting the client when the user logs in. On macOS this is the main application's login
// item (the system's login-item service); on Linux an XDG autostart entry, "vetron.desktop" in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart), whose presence counts as enabled. Tests
// inject their own.
struct LaunchAtLogin
{
    // True when the client already starts at login.
    std::function<bool()> isEnabled;
    // Registers the client to start at login; throws Error with a Russian description.
    std::function<void()> registerApplication;

    static LaunchAtLogin system();
};

// The autostart entry for `executable` (Linux): a desktop entry starting it with no arguments.
QByteArray autostartEntry(const QString &executable);

// Where the autostart entry lives (Linux).
QString autostartEntryPath();

} // namespace Vetron::Platform
