#include "App/LaunchOptions.h"

namespace Vetron::LaunchOptions {

std::optional<QString> previewDirectory(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QLatin1StringView(renderPreviewsSwitch), 1);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(at + 1);
}

} // namespace Vetron::LaunchOptions
