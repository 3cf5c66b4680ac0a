#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace Vetron {

// How the activation screen presents enrollment in progress and its outcome, and what the paste
// button makes of the clipboard.
namespace ActivationLook {

// The main button's label: it says the Mac is being connected while the model is busy.
QString buttonLabel(bool busy);
// The message line is progress (muted) while busy, else a failure (danger).
QColor messageColour(bool busy);
// The message line is there only when the model has something to say.
bool showsMessage(const QString &message);
// The key after a paste: the clipboard's text without white space or line breaks at either
// end; `current` unchanged when the clipboard holds no text.
QString pastedKey(const QString &current, const std::optional<QString> &clipboardText);

} // namespace ActivationLook

// The same rules for QML, where the clipboard cannot be read.
class ActivationLookForViews : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(ActivationLook)
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QString buttonLabel(bool busy) const { return ActivationLook::buttonLabel(busy); }
    Q_INVOKABLE QColor messageColour(bool busy) const { return ActivationLook::messageColour(busy); }
    Q_INVOKABLE bool showsMessage(const QString &message) const
    {
        return ActivationLook::showsMessage(message);
    }
    // The key after pasting the system clipboard over `current`.
    Q_INVOKABLE QString pastedKey(const QString &current) const;
};

} // namespace Vetron
