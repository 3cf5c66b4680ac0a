#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The symbols the screens draw, one SVG of our own per platform symbol name ("shield.fill",
// "arrow.left", …), drawn in black and tinted when rendered.
namespace Glyphs {

// The glyph `name` rendered to fit `pixelSize` (aspect kept, centred) with every drawn pixel in
// `tint`. A null image for a name that has no glyph.
QImage render(const QString &name, QSize pixelSize, const QColor &tint);

} // namespace Glyphs

// A glyph as a QML item: `Glyph { name: "checkmark"; color: Theme.accent }`.
class GlyphItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_NAMED_ELEMENT(Glyph)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit GlyphItem(QQuickItem *parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString &name);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void nameChanged();
    void colorChanged();

private:
    QString m_name;
    QColor m_color = Qt::black;
};

} // namespace Vetron
