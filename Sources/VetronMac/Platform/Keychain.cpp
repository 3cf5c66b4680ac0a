#include "Platform/Keychain.h"

#include "Foundation/ProcessRunner.h"

using namespace Qt::StringLiterals;

namespace Vetron::Platform::Keychain {

QCoro::Task<std::optional<QString>> readGenericPassword(ToolPaths tools, QString service, QString account)
{
    const QStringList arguments { u"find-generic-password"_s, u"-s"_s, service, u"-a"_s, account, u"-w"_s };
    try {
        const ProcessOutput output = co_await ProcessRunner::run(tools.security, arguments);
        QByteArray data = output.standardOutput;
        // The tool ends the password with one line break of its own.
        if (data.endsWith('\n'))
            data.chop(1);
        co_return QString::fromUtf8(data);
    } catch (const Error &) {
        co_return std::nullopt;
    }
}

QCoro::Task<> deleteGenericPasswords(ToolPaths tools, QString service, QString account)
{
    const QStringList arguments { u"delete-generic-password"_s, u"-s"_s, service, u"-a"_s, account };
    try {
        // One call removes one item; repeat until none is left (bounded, in case the tool lies).
        for (int attempt = 0; attempt < 16; ++attempt)
            co_await ProcessRunner::run(tools.security, arguments);
    } catch (const Error &) {
    }
}

} // namespace Vetron::Platform::Keychain
