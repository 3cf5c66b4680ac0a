#include "Views/BrandAssets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

using namespace Qt::StringLiterals;

namespace Vetron::BrandAssets {
namespace {

QString resourceDirectory()
{
#ifdef Q_OS_MACOS
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"../Resources"_s);
#else
    return QCoreApplication::applicationDirPath();
#endif
}

} // namespace

QStringList logoCandidates()
{
    QStringList candidates { u":/Vetron/vetron-logo.png"_s };
    if (QCoreApplication::instance())
        candidates << QDir(resourceDirectory()).filePath(u"vetron-logo.png"_s);
    candidates << QDir::current().filePath(u"Sources/VetronMac/Resources/vetron-logo.png"_s);
    return candidates;
}

std::optional<QImage> firstLoadable(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        QImage image = QImageReader(path).read();
        if (!image.isNull())
            return image;
    }
    return std::nullopt;
}

const std::optional<QImage> &shield()
{
    static const std::optional<QImage> logo = firstLoadable(logoCandidates());
    return logo;
}

} // namespace Vetron::BrandAssets
