#include "Protection/NetworksetupOutput.h"

using namespace Qt::StringLiterals;

namespace Vetron::NetworksetupOutput {

QHash<QString, QString> dictionary(QStringView text)
{
    QHash<QString, QString> values;
    for (const QStringView line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        QStringView value = line.mid(colon + 1);
        const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
        while (!value.isEmpty() && blank(value.front()))
            value = value.mid(1);
        while (!value.isEmpty() && blank(value.back()))
            value.chop(1);
        values.insert(line.left(colon).toString(), value.toString());
    }
    return values;
}

namespace {

QStringList listedServices(QStringView text, bool withDisabled)
{
    QStringList services;
    for (const QStringView line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"An asterisk"_s))
            continue;
        if (!line.startsWith(u'*'))
            services << line.toString();
        else if (withDisabled && line.size() > 1)
            services << line.sliced(1).toString();
    }
    return services;
}

} // namespace

QStringList serviceNames(QStringView text)
{
    return listedServices(text, false);
}

QStringList existingServiceNames(QStringView text)
{
    return listedServices(text, true);
}

ProxyEndpoint endpoint(QStringView text)
{
    const QHash<QString, QString> values = dictionary(text);
    bool numeric = false;
    const qint64 port = values.value(u"Port"_s, u"0"_s).toLongLong(&numeric);
    return ProxyEndpoint {
        .enabled = values.value(u"Enabled"_s).toLower() == u"yes"_s,
        .server = values.value(u"Server"_s),
        .port = numeric && port >= 1 && port <= 65535 ? port : 0,
    };
}

QStringList bypassDomains(QStringView text)
{
    if (text.contains(u"There aren't any"_s))
        return {};
    return text.toString().split(u'\n', Qt::SkipEmptyParts);
}

} // namespace Vetron::NetworksetupOutput
