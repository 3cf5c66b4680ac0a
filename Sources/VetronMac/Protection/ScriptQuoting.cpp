#include "Protection/ScriptQuoting.h"

using namespace Qt::StringLiterals;

namespace Vetron::ScriptQuoting {

QString shellQuoted(const QString &text)
{
    return u'\'' + QString(text).replace(u"'"_s, u"'\\''"_s) + u'\'';
}

QString appleScriptFor(const QString &script)
{
    QString escaped = script;
    escaped.replace(u"\\"_s, u"\\\\"_s).replace(u"\""_s, u"\\\""_s);
    return u"do shell script \""_s + escaped + u"\" with administrator privileges"_s;
}

} // namespace Vetron::ScriptQuoting
