#include "Views/ShieldLook.h"

#include "Views/Glyphs.h"
#include "Views/Theme.h"

#include <QPixmap>

using namespace Qt::StringLiterals;

namespace Vetron {

namespace ShieldLook {

Presentation of(ProtectionState state)
{
    switch (state) {
    case ProtectionState::disabled:
        return { u"Защита выключена"_s, 0.5, u"shield"_s };
    case ProtectionState::connecting:
        return { u"Подключаем защиту"_s, 1.0, u"shield.lefthalf.filled"_s };
    case ProtectionState::protected_:
        return { u"Личные данные под защитой"_s, 1.0, u"checkmark.shield.fill"_s };
    case ProtectionState::blocked:
        return { u"Отправка данных остановлена"_s, 1.0, u"exclamationmark.shield.fill"_s };
    }
    Q_UNREACHABLE();
    return {};
}

QIcon menuBarIcon(ProtectionState state)
{
#ifdef Q_OS_MACOS
    const QColor ink = Qt::black;
#else
    const QColor ink = Theme::accent();
#endif
    const QString symbol = of(state).menuBarSymbol;
    QIcon icon;
    for (const int side : { 16, 22, 32, 44, 64 })
        icon.addPixmap(QPixmap::fromImage(Glyphs::render(symbol, QSize(side, side), ink)));
#ifdef Q_OS_MACOS
    icon.setIsMask(true);
#endif
    return icon;
}

} // namespace ShieldLook

QString ShieldLookForViews::label(ProtectionStateForViews::Value state) const
{
    return ShieldLook::of(fromViews(state)).label;
}

qreal ShieldLookForViews::brandOpacity(ProtectionStateForViews::Value state) const
{
    return ShieldLook::of(fromViews(state)).brandOpacity;
}

} // namespace Vetron
