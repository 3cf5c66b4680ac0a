#include "Views/ProtectionLook.h"

#include "Views/ShieldLook.h"
#include "Views/Theme.h"

#include <QWindow>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Vetron {

namespace ProtectionLook {

Presentation of(ProtectionState state)
{
    // The title is the brand shield's label for the state: one text in both places.
    const QString title = ShieldLook::of(state).label;
    switch (state) {
    case ProtectionState::disabled:
        return { title, u"Данные могут отправляться без обезличивания."_s, u"Включить защиту"_s,
            Theme::faint(), false };
    case ProtectionState::connecting:
        return { title, u"Обычно это занимает несколько секунд."_s, u"Подключение…"_s, Theme::warnMeta(),
            false };
    case ProtectionState::protected_:
        return { title, u"Имена, контакты и реквизиты заменяются перед отправкой."_s, u"Выключить защиту"_s,
            Theme::accent(), true };
    case ProtectionState::blocked:
        return { title, u"Ветрон не смог подключиться и не пропускает данные без защиты."_s,
            u"Повторить подключение"_s, Theme::danger(), false };
    }
    Q_UNREACHABLE();
    return {};
}

bool actionEnabled(ProtectionState state, bool busy)
{
    return !busy && state != ProtectionState::connecting;
}

bool switchOffOffered(ProtectionState state)
{
    return state == ProtectionState::blocked;
}

bool detailShown(ProtectionState state, const QString &detail)
{
    return state == ProtectionState::blocked && !detail.isEmpty() && detail != of(state).title;
}

bool sectionButtonSelected(MainSection shown, MainSection button)
{
    return shown == button && button != MainSection::protection && button != MainSection::sessions;
}

qreal ringPhase(qint64 msSinceEpoch)
{
    constexpr qint64 cycle = 2000;
    return qreal((msSinceEpoch % cycle + cycle) % cycle) / cycle;
}

Ring ring(qreal offset, qreal phase)
{
    const qreal sum = offset + phase;
    const qreal p = sum - std::floor(sum);
    return { 1 + 0.22 * p, std::max<qreal>(0, (1 - p) * 0.5) };
}

bool ringsAnimate(ProtectionState state, bool windowVisible, bool windowMinimised)
{
    return of(state).live && windowVisible && !windowMinimised;
}

} // namespace ProtectionLook

QString ProtectionLookForViews::title(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::of(fromViews(state)).title;
}

QString ProtectionLookForViews::subtitle(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::of(fromViews(state)).subtitle;
}

QString ProtectionLookForViews::actionLabel(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::of(fromViews(state)).actionLabel;
}

QColor ProtectionLookForViews::tint(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::of(fromViews(state)).tint;
}

bool ProtectionLookForViews::live(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::of(fromViews(state)).live;
}

bool ProtectionLookForViews::actionEnabled(ProtectionStateForViews::Value state, bool busy) const
{
    return ProtectionLook::actionEnabled(fromViews(state), busy);
}

bool ProtectionLookForViews::switchOffOffered(ProtectionStateForViews::Value state) const
{
    return ProtectionLook::switchOffOffered(fromViews(state));
}

bool ProtectionLookForViews::detailShown(ProtectionStateForViews::Value state, const QString &detail) const
{
    return ProtectionLook::detailShown(fromViews(state), detail);
}

bool ProtectionLookForViews::sectionButtonSelected(
    MainSectionForViews::Value shown, MainSectionForViews::Value button) const
{
    return ProtectionLook::sectionButtonSelected(fromViews(shown), fromViews(button));
}

qreal ProtectionLookForViews::ringPhase(double now) const
{
    return ProtectionLook::ringPhase(qint64(now));
}

qreal ProtectionLookForViews::ringScale(qreal offset, qreal phase) const
{
    return ProtectionLook::ring(offset, phase).scale;
}

qreal ProtectionLookForViews::ringOpacity(qreal offset, qreal phase) const
{
    return ProtectionLook::ring(offset, phase).opacity;
}

bool ProtectionLookForViews::ringsAnimate(ProtectionStateForViews::Value state, int visibility) const
{
    return ProtectionLook::ringsAnimate(
        fromViews(state), visibility != QWindow::Hidden, visibility == QWindow::Minimized);
}

} // namespace Vetron
