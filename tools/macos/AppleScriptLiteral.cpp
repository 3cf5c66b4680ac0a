#include "AppleScriptLiteral.h"

namespace Vetron::StandIn {

std::optional<QString> unescapeStringLiteral(QStringView body)
{
    QString text;
    text.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c == u'"')
            return std::nullopt;
        if (c != u'\\') {
            text += c;
            continue;
        }
        if (++i == body.size())
            return std::nullopt;
        switch (body.at(i).unicode()) {
        case u'\\':
            text += u'\\';
            break;
        case u'"':
            text += u'"';
            break;
        case u'n':
            text += u'\n';
            break;
        case u'r':
            text += u'\r';
            break;
        case u't':
            text += u'\t';
            break;
        default:
            // AppleScript keeps a backslash before any other character.
            text += u'\\';
            text += body.at(i);
        }
    }
    return text;
}

} // namespace Vetron::StandIn
