#pragma once

#include <QImage>
#include <QStringList>

#include <optional>

namespace Vetron::BrandAssets {

// Where the logo "vetron-logo.png" may be, in the order they are tried: the logo built into the
// application, the application's resource directory, and the source tree when a development
// build is started from its top directory.
QStringList logoCandidates();

// The first candidate that exists and decodes as an image; a file that does not decode is
// passed over. None when no candidate yields an image.
std::optional<QImage> firstLoadable(const QStringList &candidates);

// The logo of the brand shield, looked up once per process on first use; later reads return
// the same result, also when it is absent.
const std::optional<QImage> &shield();

} // namespace Vetron::BrandAssets
