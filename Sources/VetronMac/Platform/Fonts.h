#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Vetron::Platform {

// The three font families the views draw with: the system font, its serif design and a
// monospaced one. macOS: the system's own; Linux: PT Sans, PT Serif and PT Mono (fonts-paratype).
QString systemFontFamily();
QString serifFontFamily();
QString monospacedFontFamily();

// The same families for QML: `font.family: Fonts.serif`.
class Fonts : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString system READ system CONSTANT)
    Q_PROPERTY(QString serif READ serif CONSTANT)
    Q_PROPERTY(QString monospaced READ monospaced CONSTANT)

public:
    using QObject::QObject;

    QString system() const { return systemFontFamily(); }
    QString serif() const { return serifFontFamily(); }
    QString monospaced() const { return monospacedFontFamily(); }
};

} // namespace Vetron::Platform
