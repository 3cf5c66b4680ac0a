#include "Views/UpdateLook.h"

#include "Views/Theme.h"

using namespace Qt::StringLiterals;

namespace Vetron {

namespace UpdateLook {

using Kind = UpdateScreenState::Kind;

Card card(Kind kind)
{
    switch (kind) {
    case Kind::idle:
        return Card::ActionCard;
    case Kind::checking:
        return Card::ProgressCard;
    case Kind::failed:
    case Kind::current:
        return Card::StatusCard;
    case Kind::available:
    case Kind::downloading:
    case Kind::downloaded:
        return Card::ReleaseCard;
    }
    Q_UNREACHABLE();
    return Card::ActionCard;
}

QString checkLabel(Kind kind)
{
    switch (kind) {
    case Kind::idle:
        return u"Проверить обновления"_s;
    case Kind::failed:
    case Kind::current:
        return u"Проверить ещё раз"_s;
    default:
        return {};
    }
}

QString statusTitle(Kind kind)
{
    switch (kind) {
    case Kind::failed:
        return u"Не удалось проверить обновления"_s;
    case Kind::current:
        return u"Установлена последняя версия"_s;
    default:
        return {};
    }
}

QString statusText(const UpdateScreenState &state)
{
    switch (state.kind) {
    case Kind::failed:
        return state.message;
    case Kind::current:
        return u"Новых обновлений сейчас нет."_s;
    default:
        return {};
    }
}

QString statusSymbol(Kind kind)
{
    return kind == Kind::failed ? u"exclamationmark.triangle.fill"_s : u"checkmark.circle.fill"_s;
}

QColor statusTint(Kind kind)
{
    return kind == Kind::failed ? Theme::systemOrange() : Theme::systemGreen();
}

QString releaseHeading(const MacReleaseManifest &manifest)
{
    return u"Доступна версия "_s + manifest.version;
}

QString releaseTitle(const MacReleaseManifest &manifest)
{
    return manifest.title.value_or(u"Улучшения и исправления Ветрона"_s);
}

QStringList releaseNotes(const MacReleaseManifest &manifest)
{
    return manifest.notes.value_or(QStringList { u"Повышена стабильность и безопасность приложения."_s });
}

ReleaseFooter releaseFooter(Kind kind)
{
    switch (kind) {
    case Kind::available:
        return ReleaseFooter::InstallButton;
    case Kind::downloading:
        return ReleaseFooter::Installing;
    case Kind::downloaded:
        return ReleaseFooter::Installed;
    default:
        return ReleaseFooter::NoFooter;
    }
}

QString releaseFooterText(Kind kind)
{
    switch (releaseFooter(kind)) {
    case ReleaseFooter::Installing:
        return u"Скачиваем и устанавливаем обновление…"_s;
    case ReleaseFooter::Installed:
        return u"Обновление установлено. Ветрон перезапускается…"_s;
    default:
        return {};
    }
}

QString installingNote(const UpdateScreenState &state)
{
    return releaseFooter(state.kind) == ReleaseFooter::Installing ? state.message : QString();
}

QString installedVersionText(const QString &version)
{
    return u"Установлена версия "_s + version;
}

} // namespace UpdateLook

UpdateLookForViews::Card UpdateLookForViews::card(const UpdateScreenState &state) const
{
    return UpdateLook::card(state.kind);
}

QString UpdateLookForViews::checkLabel(const UpdateScreenState &state) const
{
    return UpdateLook::checkLabel(state.kind);
}

QString UpdateLookForViews::statusTitle(const UpdateScreenState &state) const
{
    return UpdateLook::statusTitle(state.kind);
}

QString UpdateLookForViews::statusText(const UpdateScreenState &state) const
{
    return UpdateLook::statusText(state);
}

QString UpdateLookForViews::statusSymbol(const UpdateScreenState &state) const
{
    return UpdateLook::statusSymbol(state.kind);
}

QColor UpdateLookForViews::statusTint(const UpdateScreenState &state) const
{
    return UpdateLook::statusTint(state.kind);
}

QString UpdateLookForViews::releaseHeading(const UpdateScreenState &state) const
{
    return UpdateLook::releaseHeading(state.manifestValue());
}

QString UpdateLookForViews::releaseTitle(const UpdateScreenState &state) const
{
    return UpdateLook::releaseTitle(state.manifestValue());
}

QStringList UpdateLookForViews::releaseNotes(const UpdateScreenState &state) const
{
    return state.manifest ? UpdateLook::releaseNotes(*state.manifest) : QStringList();
}

UpdateLookForViews::ReleaseFooter UpdateLookForViews::releaseFooter(const UpdateScreenState &state) const
{
    return UpdateLook::releaseFooter(state.kind);
}

QString UpdateLookForViews::releaseFooterText(const UpdateScreenState &state) const
{
    return UpdateLook::releaseFooterText(state.kind);
}

QString UpdateLookForViews::installingNote(const UpdateScreenState &state) const
{
    return UpdateLook::installingNote(state);
}

QString UpdateLookForViews::installedVersionText(const QString &version) const
{
    return UpdateLook::installedVersionText(version);
}

} // namespace Vetron
