#include "Views/ActivationLook.h"

#include "Views/Theme.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace ActivationLook {

QString buttonLabel(bool busy)
{
    return busy ? u"Подключаем…"_s : u"Активировать"_s;
}

QColor messageColour(bool busy)
{
    return busy ? Theme::muted() : Theme::danger();
}

bool showsMessage(const QString &message)
{
    return !message.isEmpty();
}

QString pastedKey(const QString &current, const std::optional<QString> &clipboardText)
{
    return clipboardText ? clipboardText->trimmed() : current;
}

} // namespace ActivationLook

QString ActivationLookForViews::pastedKey(const QString &current) const
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    std::optional<QString> text;
    if (data && data->hasText())
        text = data->text();
    return ActivationLook::pastedKey(current, text);
}

} // namespace Vetron
