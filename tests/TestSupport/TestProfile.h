#pragma once

#include <QString>

namespace Vetron::Test {

// Every test executable runs with a profile of its own: before main, HOME, TMPDIR and the XDG
// folders point into a fresh directory under the system's temporary directory (with a Mac's
// keychain folder in it), Qt's test mode is on and preferences are INI files inside it, so neither the
// client's data directory, its preferences nor anything else a test writes can reach the real
// user's profile. The directory is removed when the process exits.
QString temporaryHome();

// Removes `path` with everything below it, but only when it lies inside the system's temporary
// directory; anything else ends the test process before a single file is touched.
bool removeTemporaryTree(const QString &path);

} // namespace Vetron::Test
