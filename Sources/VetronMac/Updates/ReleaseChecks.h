#pragma once

#include "Updates/MacReleaseManifest.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// The pure rules an offered release passes before anything is downloaded or installed: the
// publisher's signature, the version order and the digest of the downloaded file.
namespace Vetron::UpdateService {

// Whether the manifest's signature is valid under `releaseKey` (a 3072-bit RSA key).
bool verify(const MacReleaseManifest &manifest, const QString &releaseKey);

// Whether `candidate` is to be offered over `installed`.
bool isUpgrade(const QString &candidate, const QString &installed);

// Whether `bytes` have the SHA-256 `sha256` (hex digits of either case).
bool digestMatches(const QByteArray &bytes, const QString &sha256);

// The order of version texts: digit runs compare by value, everything else character by
// character, with no locale. Negative, zero or positive like a comparison.
int numericCompare(QStringView a, QStringView b);

} // namespace Vetron::UpdateService
