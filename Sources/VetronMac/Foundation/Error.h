#pragma once

#include <QString>

class QFileDevice;

#include <cerrno>
#include <exception>
#include <optional>

namespace Vetron {

// Base of every error the client raises. The description is the text screens show as it is,
// so each subclass builds a complete, readable (Russian) sentence.
class Error : public std::exception
{
public:
    explicit Error(QString description);

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// A file-system operation failed; carries the path and the reason, in Russian.
class FileError : public Error
{
public:
    FileError(QString action, QString path, QString reason);

    const QString &path() const noexcept { return m_path; }
    const QString &reason() const noexcept { return m_reason; }

    // Builds the error from an errno value, by default the current one.
    static FileError fromErrno(QString action, QString path, int code = errno);
    // Builds the error from the last failure of `file` (its name is the path), helped by the
    // errno value seen right after that failure.
    static FileError fromFile(QString action, const QFileDevice &file, int code = errno);

private:
    QString m_path;
    QString m_reason;
};

// An error of one fixed case out of `CaseEnum`, whose description is that case's fixed sentence:
// `describe(CaseEnum)`, declared next to the enum, gives the text of each case.
template<class CaseEnum> class CaseError : public Error
{
public:
    using Case = CaseEnum;

    explicit CaseError(Case which)
        : Error(describe(which))
        , m_case(which)
    {
    }

    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

// The case of `error` when it holds an E (an error type with a `Case` and `which()`).
template<class E> std::optional<typename E::Case> errorCase(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const E &e) {
        return e.which();
    } catch (...) {
        return std::nullopt;
    }
}

// The description of any caught exception: an Error's own text; a generic Russian sentence for
// anything else (other exceptions speak the developer's language) and for an empty text.
QString describeError(const std::exception_ptr &error);

} // namespace Vetron
