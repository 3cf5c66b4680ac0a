#include "Foundation/SystemErrorTexts.h"

#include <cerrno>

using namespace Qt::StringLiterals;

namespace Vetron::SystemErrorTexts {
namespace {

// The errno values that have a sentence of their own; none for the rest.
QString knownErrno(int code)
{
    switch (code) {
    case ENOENT:
        return u"Файл или папка не найдены."_s;
    case EACCES:
    case EPERM:
        return u"Нет прав доступа."_s;
    case ENOSPC:
    case EDQUOT:
        return u"На диске недостаточно места."_s;
    case EROFS:
        return u"Диск доступен только для чтения."_s;
    case EEXIST:
        return u"Такой файл уже существует."_s;
    case EISDIR:
        return u"На этом месте находится папка."_s;
    case ENOTDIR:
        return u"Часть пути не является папкой."_s;
    case EADDRINUSE:
        return u"Адрес уже занят другой программой."_s;
    case ECONNREFUSED:
        return u"Соединение отклонено: по этому адресу никто не отвечает."_s;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        return u"Соединение разорвано."_s;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return u"Сервер недоступен."_s;
    case ETIMEDOUT:
        return u"Время ожидания истекло."_s;
    default:
        return {};
    }
}

} // namespace

QString forErrno(int code)
{
    const QString known = knownErrno(code);
    return known.isEmpty() ? u"Системная ошибка (код %1)."_s.arg(code) : known;
}

QString forNetwork(QNetworkReply::NetworkError code)
{
    using E = QNetworkReply;
    switch (code) {
    case E::NoError:
        return {};
    case E::ConnectionRefusedError:
        return knownErrno(ECONNREFUSED);
    case E::RemoteHostClosedError:
        return u"Сервер разорвал соединение, не закончив ответ."_s;
    case E::HostNotFoundError:
        return u"Сервер не найден."_s;
    case E::TimeoutError:
        return u"Сервер не ответил вовремя."_s;
    case E::OperationCanceledError:
        return u"Запрос прерван."_s;
    case E::SslHandshakeFailedError:
        return u"Не удалось установить защищённое соединение с сервером."_s;
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError:
    case E::BackgroundRequestNotAllowedError:
        return u"Сеть сейчас недоступна."_s;
    case E::TooManyRedirectsError:
        return u"Сервер перенаправляет запрос слишком много раз."_s;
    case E::InsecureRedirectError:
        return u"Сервер перенаправил защищённый запрос на незащищённый адрес."_s;
    case E::ProxyConnectionRefusedError:
        return u"Прокси-сервер отклонил соединение."_s;
    case E::ProxyConnectionClosedError:
        return u"Прокси-сервер разорвал соединение."_s;
    case E::ProxyNotFoundError:
        return u"Прокси-сервер не найден."_s;
    case E::ProxyTimeoutError:
        return u"Прокси-сервер не ответил вовремя."_s;
    case E::ProxyAuthenticationRequiredError:
        return u"Прокси-сервер требует входа."_s;
    case E::ProtocolUnknownError:
        return u"Адрес указывает на неподдерживаемый протокол."_s;
    case E::ProtocolInvalidOperationError:
    case E::ProtocolFailure:
        return u"Сервер ответил с нарушением протокола."_s;
    default:
        break;
    }
    if (code >= 201 && code <= 299)
        return u"Сервер отклонил запрос."_s;
    if (code >= 401 && code <= 499)
        return u"Сервер не смог обработать запрос."_s;
    return u"Сетевая ошибка."_s;
}

QString forFile(QFileDevice::FileError error, int code)
{
    if (const QString known = knownErrno(code); !known.isEmpty())
        return known;
    switch (error) {
    case QFileDevice::NoError:
        return {};
    case QFileDevice::ReadError:
        return u"Файл не удалось прочитать."_s;
    case QFileDevice::WriteError:
        return u"Файл не удалось записать."_s;
    case QFileDevice::OpenError:
        return u"Файл не удалось открыть."_s;
    case QFileDevice::ResourceError:
        return u"Не хватает места на диске или других ресурсов системы."_s;
    case QFileDevice::PermissionsError:
        return u"Права файла не удалось изменить."_s;
    case QFileDevice::RemoveError:
        return u"Файл не удалось удалить."_s;
    case QFileDevice::RenameError:
        return u"Файл не удалось переименовать."_s;
    case QFileDevice::CopyError:
        return u"Файл не удалось скопировать."_s;
    case QFileDevice::ResizeError:
        return u"Размер файла не удалось изменить."_s;
    default:
        return u"Файловая операция не удалась."_s;
    }
}

QString forProcess(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return u"Программу не удалось запустить."_s;
    case QProcess::Crashed:
        return u"Программа аварийно завершилась."_s;
    case QProcess::Timedout:
        return u"Программа не ответила вовремя."_s;
    case QProcess::WriteError:
        return u"Не удалось передать данные программе."_s;
    case QProcess::ReadError:
        return u"Не удалось прочитать вывод программы."_s;
    default:
        return u"Программа завершилась с неизвестной ошибкой."_s;
    }
}

} // namespace Vetron::SystemErrorTexts
