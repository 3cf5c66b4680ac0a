#include "Views/BrandShieldPicture.h"

#include "Views/BrandAssets.h"
#include "Views/Glyphs.h"
#include "Views/Theme.h"

#include <QPainter>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

namespace Vetron {

BrandShieldPicture::BrandShieldPicture(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

bool BrandShieldPicture::usesLogo() const
{
    return BrandAssets::shield().has_value();
}

void BrandShieldPicture::paint(QPainter *painter)
{
    const qreal scale = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels = (size() * scale).toSize();
    if (pixels.isEmpty())
        return;
    QImage image;
    if (const std::optional<QImage> &logo = BrandAssets::shield())
        image = logo->scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    else
        image = Glyphs::render(u"shield.fill"_s, pixels, Theme::accent());
    image.setDevicePixelRatio(scale);
    const QSizeF drawn = image.deviceIndependentSize();
    painter->drawImage(QPointF((width() - drawn.width()) / 2, (height() - drawn.height()) / 2), image);
}

} // namespace Vetron
