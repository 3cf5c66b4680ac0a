#include "Protection/SshStandardError.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace Vetron::SshStandardError {

QString lastLine(const QByteArray &chunk)
{
    static const QRegularExpression lineBreak(uR"(\r\n|[\n\r\x{0B}\x{0C}\x{85}\x{2028}\x{2029}])"_s);
    const QStringList lines = QString::fromUtf8(chunk).split(lineBreak, Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace Vetron::SshStandardError
