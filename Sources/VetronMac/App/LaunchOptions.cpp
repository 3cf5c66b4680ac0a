#include "App/LaunchOptions.h"

namespace Vetron::LaunchOptions {

namespace {

std::optional<QString> valueAfter(const QStringList &arguments, const char *name)
{
    const qsizetype at = arguments.indexOf(QLatin1StringView(name), 1);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(at + 1);
}

bool has(const QStringList &arguments, const char *name)
{
    return arguments.indexOf(QLatin1StringView(name), 1) > 0;
}

} // namespace

std::optional<QString> previewDirectory(const QStringList &arguments)
{
    return valueAfter(arguments, renderPreviewsSwitch);
}

std::optional<QString> localStackFolder(const QStringList &arguments)
{
    return valueAfter(arguments, localStackSwitch);
}

std::optional<QString> activationKey(const QStringList &arguments)
{
    return valueAfter(arguments, activateSwitch);
}

bool startsHidden(const QStringList &arguments)
{
    return has(arguments, hiddenSwitch);
}

std::optional<QString> installedVersion(const QStringList &arguments)
{
    return valueAfter(arguments, installedVersionSwitch);
}

bool installsOfferedUpdate(const QStringList &arguments)
{
    return has(arguments, updateSwitch);
}

} // namespace Vetron::LaunchOptions
