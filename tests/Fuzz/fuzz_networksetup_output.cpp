// The readers of networksetup's output: the key-value form of -getwebproxy and
// -getsecurewebproxy, the service listings and the bypass domains, all over the same text.

#include "FuzzCheck.h"
#include "Protection/NetworksetupOutput.h"

#include <cstddef>
#include <cstdint>

using namespace Vetron;

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QHash<QString, QString> values = NetworksetupOutput::dictionary(text);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        FUZZ_CHECK(!it.key().contains(u':') && !it.key().contains(u'\n'));
        FUZZ_CHECK(!it.value().contains(u'\n'));
        FUZZ_CHECK(it.value().isEmpty() || (!isBlank(it.value().front()) && !isBlank(it.value().back())));
    }

    // Every enabled service also counts as existing, so a restore never skips one.
    const QStringList existing = NetworksetupOutput::existingServiceNames(text);
    for (const QString &service : existing)
        FUZZ_CHECK(!service.isEmpty() && !service.contains(u'\n'));
    for (const QString &service : NetworksetupOutput::serviceNames(text))
        FUZZ_CHECK(!service.isEmpty() && !service.contains(u'\n') && !service.startsWith(u'*')
            && existing.contains(service));

    // The restore script hands the port back to networksetup, which takes only 0–65535.
    const ProxyEndpoint endpoint = NetworksetupOutput::endpoint(text);
    FUZZ_CHECK(endpoint.port >= 0 && endpoint.port <= 65535);
    FUZZ_CHECK(!endpoint.server.contains(u'\n'));

    for (const QString &domain : NetworksetupOutput::bypassDomains(text))
        FUZZ_CHECK(!domain.isEmpty() && !domain.contains(u'\n'));
    return 0;
}
