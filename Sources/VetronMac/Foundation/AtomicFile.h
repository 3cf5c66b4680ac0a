#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace Vetron::AtomicFile {

inline constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
inline constexpr QFileDevice::Permissions readableByAll
    = ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;

// Replaces the file at `path` with `contents` so that readers see either the old file or the
// whole new one, never a part. The data goes to a temporary file in the same directory that is
// created private to the owner, gets `permissions` before it is renamed over `path`, and so is
// never readable by others unless `permissions` allow it. Throws FileError; on failure `path`
// is left as it was and no temporary file remains.
void write(const QString &path, const QByteArray &contents, QFileDevice::Permissions permissions);

} // namespace Vetron::AtomicFile
