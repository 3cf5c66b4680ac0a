#include "Views/ProtectionLook.h"

#include "Views/Theme.h"
#include "Views/ShieldLook.h"

#include <QWindow>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Vetron {

ProtectionLook protectionLook(ProtectionState state)
{
    // The title is the brand shield's label for the state: one text in both places.
    const QString title = shieldLook(state).label;
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

bool protectionActionEnabled(ProtectionState state, bool busy)
{
    return !busy && state != ProtectionState::connecting;
}

bool protectionDetailShown(ProtectionState state, const QString &detail)
{
    return state == ProtectionState::blocked && !detail.isEmpty() && detail != protectionLook(state).title;
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

RingLook ringLook(qreal offset, qreal phase)
{
    const qreal sum = offset + phase;
    const qreal p = sum - std::floor(sum);
    return { 1 + 0.22 * p, std::max<qreal>(0, (1 - p) * 0.5) };
}

bool ringsAnimate(ProtectionState state, bool windowVisible, bool windowMinimised)
{
    return protectionLook(state).live && windowVisible && !windowMinimised;
}

QString ProtectionLooks::title(int state) const
{
    return protectionLook(protectionStateFromViews(state)).title;
}

QString ProtectionLooks::subtitle(int state) const
{
    return protectionLook(protectionStateFromViews(state)).subtitle;
}

QString ProtectionLooks::actionLabel(int state) const
{
    return protectionLook(protectionStateFromViews(state)).actionLabel;
}

QColor ProtectionLooks::tint(int state) const
{
    return protectionLook(protectionStateFromViews(state)).tint;
}

bool ProtectionLooks::live(int state) const
{
    return protectionLook(protectionStateFromViews(state)).live;
}

bool ProtectionLooks::actionEnabled(int state, bool busy) const
{
    return protectionActionEnabled(protectionStateFromViews(state), busy);
}

bool ProtectionLooks::detailShown(int state, const QString &detail) const
{
    return protectionDetailShown(protectionStateFromViews(state), detail);
}

bool ProtectionLooks::sectionButtonSelected(int shown, int button) const
{
    // The sections' underlying type is int: any number converts, and an unknown one matches none.
    return Vetron::sectionButtonSelected(MainSection(shown), MainSection(button));
}

qreal ProtectionLooks::ringPhase(double now) const
{
    return Vetron::ringPhase(qint64(now));
}

qreal ProtectionLooks::ringScale(qreal offset, qreal phase) const
{
    return ringLook(offset, phase).scale;
}

qreal ProtectionLooks::ringOpacity(qreal offset, qreal phase) const
{
    return ringLook(offset, phase).opacity;
}

bool ProtectionLooks::ringsAnimate(int state, int visibility) const
{
    return Vetron::ringsAnimate(
        protectionStateFromViews(state), visibility != QWindow::Hidden, visibility == QWindow::Minimized);
}

} // namespace Vetron
