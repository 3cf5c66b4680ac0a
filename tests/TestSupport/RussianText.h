#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace Vetron::Test {

// What keeps `text` from reading as Russian: the first run of Latin letters outside `names` (the
// paths, programs and addresses it quotes), or a note when it holds no Cyrillic word at all.
// Empty when the text is Russian throughout.
inline QString nonRussianPart(QString text, const QStringList &names = {})
{
    for (const QString &name : names)
        text.remove(name);
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]+"));
    if (const auto match = latin.match(text); match.hasMatch())
        return match.captured();
    static const QRegularExpression cyrillic(QStringLiteral("\\p{Cyrillic}{2,}"));
    return cyrillic.match(text).hasMatch() ? QString()
                                           : QStringLiteral("(no Russian word in \"%1\")").arg(text);
}

} // namespace Vetron::Test
