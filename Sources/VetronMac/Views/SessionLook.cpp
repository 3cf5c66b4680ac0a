#include "Views/SessionLook.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Vetron {

namespace SessionLook {

QString localDateTimeText(const QDateTime &moment)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QDateTime local = moment.toLocalTime();
    return russian.toString(local.date(), u"dd.MM.yyyy"_s) + u", "_s
        + russian.toString(local.time(), QLocale::ShortFormat);
}

QString sessionTitle(const ProtectedSession &session)
{
    if (!session.title.isEmpty())
        return session.title;
    return u"Сессия "_s + localDateTimeText(session.createdAtTime());
}

QString lastUsedLine(const ProtectedSession &session)
{
    return u"Последнее использование: "_s + localDateTimeText(session.lastUsedAtTime());
}

QString countsLine(const ProtectedSession &session)
{
    if (session.bypass)
        return u"Без обезличивания · включено через !!"_s;
    return u"Запросов: %1 · сохранённых замен: %2"_s.arg(session.requests).arg(session.replacements);
}

QString sessionFacts(const ProtectedSession &session)
{
    return u"Создана: "_s + localDateTimeText(session.createdAtTime()) + u'\n' + lastUsedLine(session)
        + u"\nЗапросов: %1 · замен: %2"_s.arg(session.requests).arg(session.replacements);
}

bool canRename(const QString &title, bool busy)
{
    return !busy && !title.trimmed().isEmpty();
}

QString revealLabel(bool busy)
{
    return busy ? u"Расшифровываем…"_s : u"Показать данные"_s;
}

} // namespace SessionLook

namespace SessionPaging {

int pageCount(qsizetype sessions)
{
    return int(std::max<qsizetype>(1, (sessions + pageSize - 1) / pageSize));
}

int clampedPage(int page, qsizetype sessions)
{
    return std::min(pageCount(sessions) - 1, std::max(0, page));
}

std::pair<qsizetype, qsizetype> rows(int page, qsizetype sessions)
{
    const qsizetype first = qsizetype(clampedPage(page, sessions)) * pageSize;
    if (first >= sessions)
        return { sessions, sessions };
    return { first, std::min(sessions, first + pageSize) };
}

QString pagerText(int page, qsizetype sessions)
{
    return u"Страница %1 из %2 · сессий: %3"_s.arg(clampedPage(page, sessions) + 1)
        .arg(pageCount(sessions))
        .arg(sessions);
}

} // namespace SessionPaging

} // namespace Vetron
