#include "Views/QmlModule.h"

#include <QQmlEngine>
#include <QQuickStyle>

using namespace Qt::StringLiterals;

// Generated with the module; called here so that a static link keeps the registrations.
void qml_register_types_Vetron();

namespace Vetron {

void prepareQmlEngine(QQmlEngine &engine)
{
    static const bool registered = [] {
        qml_register_types_Vetron();
        QQuickStyle::setStyle(u"Basic"_s);
        return true;
    }();
    Q_UNUSED(registered);
    engine.addImportPath(u"qrc:/"_s);
}

} // namespace Vetron
