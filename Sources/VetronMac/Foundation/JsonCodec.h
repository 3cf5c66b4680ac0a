#pragma once

#include "Foundation/Error.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <concepts>
#include <optional>

namespace Vetron {

// A JSON text did not match the record it was read as. The description names the member
// (with its path inside nested objects and arrays) and what was wrong with it.
class DecodingError : public Error
{
public:
    DecodingError(QString member, QString problem);

    const QString &member() const noexcept { return m_member; }
    const QString &problem() const noexcept { return m_problem; }

private:
    QString m_member;
    QString m_problem;
};

class JsonReader;

// A record reads itself from one JSON object through a JsonReader and writes itself back.
template<class T>
concept JsonRecord = requires(const JsonReader &reader, const T &value)
{
    {
        T::decode(reader)
        } -> std::same_as<T>;
    {
        value.toJson()
        } -> std::same_as<QJsonObject>;
};

namespace JsonDetail {

QString memberPath(const QString &parent, QStringView key);
QString elementPath(const QString &parent, qsizetype index);

// Strict conversion of one JSON value to a C++ value; throws DecodingError naming `path`.
template<class T> struct Value;

template<> struct Value<QString>
{
    static QString decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(const QString &value) { return value; }
};

// Int: a JSON number without a fractional part, held as a signed 64-bit integer.
template<> struct Value<qint64>
{
    static qint64 decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(qint64 value) { return value; }
};

// Double: any JSON number.
template<> struct Value<double>
{
    static double decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(double value) { return value; }
};

// Bool: only true or false, never 0, 1 or a string.
template<> struct Value<bool>
{
    static bool decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(bool value) { return value; }
};

// An internet date-time to the second with a zone: 2026-03-01T00:00:00Z or …+03:00.
template<> struct Value<QDateTime>
{
    static QDateTime decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(const QDateTime &value);
};

// Defined below, once JsonReader is complete (clang 14 does not take an out-of-line definition
// of a constrained specialization's member).
template<JsonRecord T> T decodeRecord(const QJsonValue &value, const QString &path);

template<JsonRecord T> struct Value<T>
{
    static T decode(const QJsonValue &value, const QString &path) { return decodeRecord<T>(value, path); }
    static QJsonValue encode(const T &value) { return value.toJson(); }
};

template<class T> struct Value<QList<T>>
{
    static QList<T> decode(const QJsonValue &value, const QString &path);
    static QJsonValue encode(const QList<T> &values)
    {
        QJsonArray array;
        for (const T &element : values)
            array.append(Value<T>::encode(element));
        return array;
    }
};

[[noreturn]] void throwWrongType(const QString &path, const char *expected);

} // namespace JsonDetail

// Reads the members of one JSON object. Every record decodes through it, so the rules for
// required and optional members and for strict types live here once.
class JsonReader
{
public:
    explicit JsonReader(QJsonObject object, QString path = {});

    // A required member: present, not null and of the type T.
    template<class T> T required(QStringView key) const
    {
        const QJsonValue value = m_object.value(key);
        const QString path = JsonDetail::memberPath(m_path, key);
        if (value.isUndefined())
            throw DecodingError(path, QStringLiteral("отсутствует"));
        if (value.isNull())
            throw DecodingError(path, QStringLiteral("не может быть null"));
        return JsonDetail::Value<T>::decode(value, path);
    }

    // An optional member: absent or null gives no value; anything else must be of the type T.
    template<class T> std::optional<T> optional(QStringView key) const
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return JsonDetail::Value<T>::decode(value, JsonDetail::memberPath(m_path, key));
    }

private:
    QJsonObject m_object;
    QString m_path;
};

// Writes the members of one JSON object; an optional without a value is left out.
class JsonWriter
{
public:
    // Starts from the members of `base`, so that a record can extend another one's object.
    explicit JsonWriter(QJsonObject base = {})
        : m_object(std::move(base))
    {
    }

    template<class T> JsonWriter &put(const QString &key, const T &value)
    {
        m_object.insert(key, JsonDetail::Value<T>::encode(value));
        return *this;
    }

    template<class T> JsonWriter &put(const QString &key, const std::optional<T> &value)
    {
        if (value)
            put(key, *value);
        return *this;
    }

    QJsonObject object() const { return m_object; }

private:
    QJsonObject m_object;
};

namespace JsonDetail {

template<JsonRecord T> T decodeRecord(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        throwWrongType(path, "объектом");
    return T::decode(JsonReader(value.toObject(), path));
}

template<class T> QList<T> Value<QList<T>>::decode(const QJsonValue &value, const QString &path)
{
    if (!value.isArray())
        throwWrongType(path, "массивом");
    const QJsonArray array = value.toArray();
    QList<T> result;
    result.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i)
        result.append(Value<T>::decode(array.at(i), elementPath(path, i)));
    return result;
}

QJsonDocument parse(const QByteArray &bytes);
QJsonObject parseObject(const QByteArray &bytes);

} // namespace JsonDetail

// Decodes a record from JSON text that must hold one object.
template<JsonRecord T> T decodeJson(const QByteArray &bytes)
{
    return T::decode(JsonReader(JsonDetail::parseObject(bytes)));
}

// Decodes a list of records from JSON text that must hold one array.
template<JsonRecord T> QList<T> decodeJsonList(const QByteArray &bytes)
{
    const QJsonDocument document = JsonDetail::parse(bytes);
    if (!document.isArray())
        throw DecodingError({}, QStringLiteral("ожидался массив JSON"));
    return JsonDetail::Value<QList<T>>::decode(document.array(), {});
}

template<JsonRecord T> QByteArray encodeJsonList(const QList<T> &values)
{
    return QJsonDocument(JsonDetail::Value<QList<T>>::encode(values).toArray())
        .toJson(QJsonDocument::Compact);
}

// Encodes a record as compact JSON.
template<JsonRecord T> QByteArray encodeJson(const T &value)
{
    return QJsonDocument(value.toJson()).toJson(QJsonDocument::Compact);
}

} // namespace Vetron
