#pragma once

#include <QSettings>

namespace Vetron::Platform {

// The client's preferences, where the platform expects an application's own: on macOS the
// bundle identifier's domain "io.vetron.mac", on Linux ~/.config/Vetron/Vetron.conf. In the
// default format (the native one, unless a test chose INI files in its profile).
class Preferences : public QSettings
{
public:
    Preferences();

    // Moves what versions before this one stored without an organisation (on Linux in
    // ~/.config/Unknown Organization/Vetron.conf) into the preferences, once: a key already
    // there keeps its value, and each key taken is removed from the old place.
    static void carryOver();
};

} // namespace Vetron::Platform
