#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace Vetron {

// Process-wide switches of the preview renderer. With `flattenScrolls` set (before the views are
// created) every section's scroll container lays its content out at full height, unscrolled, so
// that a rendered picture shows all of it.
class PreviewMode : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool flattenScrolls READ flattenScrolls CONSTANT)

public:
    using QObject::QObject;

    static bool flattenScrolls() { return s_flattenScrolls; }
    static void setFlattenScrolls(bool flatten) { s_flattenScrolls = flatten; }

private:
    static inline bool s_flattenScrolls = false;
};

} // namespace Vetron
