#include "Foundation/Error.h"

#include <cstring>

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
    return FileError(std::move(action), std::move(path), QString::fromLocal8Bit(std::strerror(code)));
}

QString describeError(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return {};
    }
}

} // namespace Vetron
