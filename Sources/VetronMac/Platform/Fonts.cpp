#include "Platform/Fonts.h"

using namespace Qt::StringLiterals;

namespace Vetron::Platform {

QString systemFontFamily()
{
    return u"PT Sans"_s;
}

QString serifFontFamily()
{
    return u"PT Serif"_s;
}

QString monospacedFontFamily()
{
    return u"PT Mono"_s;
}

} // namespace Vetron::Platform
