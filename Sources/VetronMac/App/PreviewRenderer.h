#pragma once

#include "App/AppModel.h"
#include "Foundation/Models.h"

#include <QDateTime>
#include <QDir>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <optional>

// Draws the main screens off-screen from fixed sample data and writes each as a PNG picture:
// "main", "how", "settings", "account", "updates", "activation", "license", in that order, at
// twice their point size. Calls nothing of the tunnel, the portal or the update service and
// changes no stored setting; reports each picture on standard output and each failure on
// standard error.
namespace Vetron::PreviewRenderer {

// Call before the application object exists: pictures are drawn by an off-screen platform at
// scale 2, whatever the session the process was started from.
void prepareProcess();

// Renders every picture into `directory` (created with its parents) on the interface thread.
// True when all seven were written; a failed picture does not stop the others.
bool renderAll(const QString &directory);

// The steps, open to tests. Relative paths are taken from `workingDirectory`.

// The agreement text for the pictures: the first of $VETRON_LICENSE_FILE and two files beside
// the repository that reads as UTF-8 and is not empty; nothing when none does.
std::optional<QString> licenseText(const QDir &workingDirectory = QDir::current(),
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The trimmed content of "VERSION", or "0.9.0" when it is missing or blank.
QString repoVersion(const QDir &workingDirectory = QDir::current());

// "1.4.2" → "1.4.3": the third of exactly three numbers raised by one; anything else unchanged.
QString bumpedPatch(const QString &version);

// The 23 sample sessions, their times relative to `now`.
QList<ProtectedSession> previewSessions(const QDateTime &now);

// The enrolled, protected sample model with its account, sessions, the repository's version
// (read from the current directory) and an offered release one patch above it. It never
// connects by itself.
std::unique_ptr<AppModel> previewModel(const QDateTime &now);

} // namespace Vetron::PreviewRenderer
