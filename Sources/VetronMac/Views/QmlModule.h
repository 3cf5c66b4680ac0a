#pragma once

class QQmlEngine;

namespace Vetron {

// Makes the "Vetron" module importable by `engine` and pins the controls to the Basic style, so
// both platforms draw the same. Call before loading any view; views load as
// qrc:/Vetron/<File>.qml.
void prepareQmlEngine(QQmlEngine &engine);

} // namespace Vetron
