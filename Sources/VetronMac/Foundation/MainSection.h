#pragma once

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

namespace Vetron {

// The section the main window shows. It has no text form and is never stored or sent.
enum class MainSection {
    protection,
    account,
    sessions,
    updates,
    settings,
};

// The same sections as views name them: MainSection.Protection, .Account, .Sessions, .Updates,
// .Settings.
namespace MainSectionForViews {
Q_NAMESPACE
QML_NAMED_ELEMENT(MainSection)

enum Value : int { // a fixed type: a view may write any number, checked before use
    Protection = int(MainSection::protection),
    Account = int(MainSection::account),
    Sessions = int(MainSection::sessions),
    Updates = int(MainSection::updates),
    Settings = int(MainSection::settings),
};
Q_ENUM_NS(Value)

} // namespace MainSectionForViews

constexpr MainSectionForViews::Value forViews(MainSection section)
{
    return MainSectionForViews::Value(int(section));
}

constexpr MainSection fromViews(MainSectionForViews::Value section)
{
    return MainSection(int(section));
}

} // namespace Vetron
