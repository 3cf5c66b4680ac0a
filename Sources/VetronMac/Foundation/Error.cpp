#include "Foundation/Error.h"

#include "Foundation/SystemErrorTexts.h"

#include <QFileDevice>

using namespace Qt::StringLiterals;

namespace Vetron {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{
}

FileError::FileError(QString action, QString path, QString reason)
    : Error(u"%1 %2: %3"_s.arg(action, path, reason))
    , m_path(std::move(path))
    , m_reason(std::move(reason))
{
}

FileError FileError::fromErrno(QString action, QString path, int code)
{
    return FileError(std::move(action), std::move(path), SystemErrorTexts::forErrno(code));
}

FileError FileError::fromFile(QString action, const QFileDevice &file, int code)
{
    return FileError(std::move(action), file.fileName(), SystemErrorTexts::forFile(file.error(), code));
}

QString describeError(const std::exception_ptr &error)
{
    const QString unexpected = u"Произошла непредвиденная ошибка."_s;
    if (!error)
        return unexpected;
    try {
        std::rethrow_exception(error);
    } catch (const Error &e) {
        return e.description().isEmpty() ? unexpected : e.description();
    } catch (...) {
        return unexpected;
    }
}

} // namespace Vetron
