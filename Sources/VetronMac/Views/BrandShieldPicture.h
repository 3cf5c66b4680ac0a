#pragma once

#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The brand picture: the logo scaled to fit with its aspect kept and smooth scaling, or, when no
// logo could be loaded, the "shield.fill" glyph in the brand green. Opacity and the accessible
// label are the enclosing view's.
class BrandShieldPicture : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool usesLogo READ usesLogo CONSTANT)

public:
    explicit BrandShieldPicture(QQuickItem *parent = nullptr);

    bool usesLogo() const;
    void paint(QPainter *painter) override;
};

} // namespace Vetron
