#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// The one fixed palette every view draws with: light and warm, no dark variant. The colours are
// absolute (opaque sRGB) and do not follow the system appearance. C++ reads them through the
// static getters; QML through the `Theme` singleton's constant properties of the same names.
class Theme : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor appBg READ appBg CONSTANT)
    Q_PROPERTY(QColor surface READ surface CONSTANT)
    Q_PROPERTY(QColor innerPanel READ innerPanel CONSTANT)
    Q_PROPERTY(QColor innerStroke READ innerStroke CONSTANT)
    Q_PROPERTY(QColor cardStroke READ cardStroke CONSTANT)
    Q_PROPERTY(QColor divider READ divider CONSTANT)
    Q_PROPERTY(QColor ink READ ink CONSTANT)
    Q_PROPERTY(QColor muted READ muted CONSTANT)
    Q_PROPERTY(QColor faint READ faint CONSTANT)
    Q_PROPERTY(QColor hint READ hint CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor accentLive READ accentLive CONSTANT)
    Q_PROPERTY(QColor accentSoft READ accentSoft CONSTANT)
    Q_PROPERTY(QColor accentSoftHover READ accentSoftHover CONSTANT)
    Q_PROPERTY(QColor chip READ chip CONSTANT)
    Q_PROPERTY(QColor chipInk READ chipInk CONSTANT)
    Q_PROPERTY(QColor copper READ copper CONSTANT)
    Q_PROPERTY(QColor copperSoft READ copperSoft CONSTANT)
    Q_PROPERTY(QColor danger READ danger CONSTANT)
    Q_PROPERTY(QColor dangerSoft READ dangerSoft CONSTANT)
    Q_PROPERTY(QColor warnMeta READ warnMeta CONSTANT)
    Q_PROPERTY(QColor switchOff READ switchOff CONSTANT)
    Q_PROPERTY(QColor ornament READ ornament CONSTANT)
    Q_PROPERTY(QColor systemOrange READ systemOrange CONSTANT)
    Q_PROPERTY(QColor systemGreen READ systemGreen CONSTANT)

public:
    using QObject::QObject;

    static QColor appBg() { return rgb(0xF7F4EC); }
    static QColor surface() { return rgb(0xFFFFFF); }
    static QColor innerPanel() { return rgb(0xF5F1E6); }
    static QColor innerStroke() { return rgb(0xE7E0CE); }
    static QColor cardStroke() { return rgb(0xECE8DC); }
    static QColor divider() { return rgb(0xEFEBE0); }
    static QColor ink() { return rgb(0x16352B); }
    static QColor muted() { return rgb(0x66756D); }
    static QColor faint() { return rgb(0x7C877E); }
    static QColor hint() { return rgb(0x8A9189); }
    static QColor accent() { return rgb(0x176B54); }
    static QColor accentLive() { return rgb(0x1F8A6B); }
    static QColor accentSoft() { return rgb(0xE7F0EA); }
    static QColor accentSoftHover() { return rgb(0xDCE9E1); }
    static QColor chip() { return rgb(0xEBE6D9); }
    static QColor chipInk() { return rgb(0x4A5A52); }
    static QColor copper() { return rgb(0xA8551F); }
    static QColor copperSoft() { return rgb(0xF3E4D6); }
    static QColor danger() { return rgb(0xC23B2E); }
    static QColor dangerSoft() { return rgb(0xFBF1EF); }
    static QColor warnMeta() { return rgb(0xB96A00); }
    static QColor switchOff() { return rgb(0xD8D2C2); }
    static QColor ornament() { return rgb(0xC9BFA8); }
    // The platform's standard orange and green (macOS's light appearance), for status symbols.
    static QColor systemOrange() { return rgb(0xFF9500); }
    static QColor systemGreen() { return rgb(0x34C759); }

private:
    static QColor rgb(QRgb value) { return QColor::fromRgb(value); } // always opaque
};

} // namespace Vetron
