#include "Foundation/JsonCodec.h"

#include <QJsonParseError>
#include <QRegularExpression>
#include <QTimeZone>
#include <QVariant>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Vetron {

DecodingError::DecodingError(QString member, QString problem)
    : Error(member.isEmpty() ? u"Не удалось прочитать данные: %1."_s.arg(problem)
                             : u"Не удалось прочитать данные: поле «%1» %2."_s.arg(member, problem))
    , m_member(std::move(member))
    , m_problem(std::move(problem))
{
}

JsonReader::JsonReader(QJsonObject object, QString path)
    : m_object(std::move(object))
    , m_path(std::move(path))
{
}

namespace JsonDetail {

QString memberPath(const QString &parent, QStringView key)
{
    return parent.isEmpty() ? key.toString() : parent + u'.' + key.toString();
}

QString elementPath(const QString &parent, qsizetype index)
{
    return u"%1[%2]"_s.arg(parent).arg(index);
}

void throwWrongType(const QString &path, const char *expected)
{
    throw DecodingError(path, u"должно быть "_s + QString::fromUtf8(expected));
}

QString Value<QString>::decode(const QJsonValue &value, const QString &path)
{
    if (!value.isString())
        throwWrongType(path, "строкой");
    return value.toString();
}

qint64 Value<qint64>::decode(const QJsonValue &value, const QString &path)
{
    if (!value.isDouble())
        throwWrongType(path, "целым числом");
    // Qt keeps an integer literal that fits in 64 bits exactly; anything else arrives as a double.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double number = value.toDouble();
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || number != std::trunc(number) || number >= limit || number < -limit)
        throwWrongType(path, "целым числом");
    return static_cast<qint64>(number);
}

double Value<double>::decode(const QJsonValue &value, const QString &path)
{
    if (!value.isDouble())
        throwWrongType(path, "числом");
    return value.toDouble();
}

bool Value<bool>::decode(const QJsonValue &value, const QString &path)
{
    if (!value.isBool())
        throwWrongType(path, "значением true или false");
    return value.toBool();
}

QDateTime Value<QDateTime>::decode(const QJsonValue &value, const QString &path)
{
    static const QRegularExpression form(
        uR"(\A([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:(Z)|([+-])([0-9]{2}):([0-9]{2}))\z)"_s);
    const auto fail = [&path]() {
        throw DecodingError(path, u"должно быть датой и временем вида 2026-03-01T00:00:00Z"_s);
    };
    if (!value.isString())
        fail();
    const QRegularExpressionMatch match = form.match(value.toString());
    if (!match.hasMatch())
        fail();
    const auto part = [&match](int group) { return match.capturedView(group).toInt(); };
    const QDate date(part(1), part(2), part(3));
    const QTime time(part(4), part(5), part(6));
    if (!date.isValid() || !time.isValid())
        fail();
    int offsetSeconds = 0;
    if (!match.hasCaptured(7)) {
        if (part(9) > 23 || part(10) > 59)
            fail();
        offsetSeconds = (part(9) * 3600 + part(10) * 60) * (match.capturedView(8) == u"-" ? -1 : 1);
    }
    // Written back in UTC, the time must still have a four-digit year.
    const QDateTime utc = QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
    if (utc.date().year() < 1 || utc.date().year() > 9999)
        fail();
    return utc;
}

QJsonValue Value<QDateTime>::encode(const QDateTime &value)
{
    return value.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s);
}

QJsonDocument parse(const QByteArray &bytes)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError({}, u"это не JSON (%1, позиция %2)"_s.arg(error.errorString()).arg(error.offset));
    return document;
}

QJsonObject parseObject(const QByteArray &bytes)
{
    const QJsonDocument document = parse(bytes);
    if (!document.isObject())
        throw DecodingError({}, u"ожидался объект JSON"_s);
    return document.object();
}

} // namespace JsonDetail
} // namespace Vetron
