#include "Platform/Fonts.h"

#include <QFontDatabase>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {

QString systemFontFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

// "New York" is the serif design of the system font.
QString serifFontFamily()
{
    return u"New York"_s;
}

QString monospacedFontFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

} // namespace Vetron::Platform
