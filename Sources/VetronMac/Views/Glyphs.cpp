#include "Views/Glyphs.h"

#include <QPainter>
#include <QQuickWindow>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

namespace Vetron {

QImage Glyphs::render(const QString &name, QSize pixelSize, const QColor &tint)
{
    QSvgRenderer svg(u":/Vetron/glyphs/%1.svg"_s.arg(name));
    if (!svg.isValid() || pixelSize.isEmpty())
        return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF fitted = QSizeF(svg.viewBoxF().size()).scaled(QSizeF(pixelSize), Qt::KeepAspectRatio);
    const QPointF origin(
        (pixelSize.width() - fitted.width()) / 2, (pixelSize.height() - fitted.height()) / 2);
    svg.render(&painter, QRectF(origin, fitted));
    // Keep the drawn shape, take the colour from the tint.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), tint);
    return image;
}

GlyphItem::GlyphItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void GlyphItem::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    update();
    Q_EMIT nameChanged();
}

void GlyphItem::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}

void GlyphItem::paint(QPainter *painter)
{
    // Rendered at the device's pixel density so the glyph stays sharp at 2×.
    const qreal scale = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels = (size() * scale).toSize();
    QImage image = Glyphs::render(m_name, pixels, m_color);
    if (image.isNull())
        return;
    image.setDevicePixelRatio(scale);
    painter->drawImage(QPointF(0, 0), image);
}

} // namespace Vetron
