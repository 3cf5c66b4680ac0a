// The version rule: the comparison of version texts must be an order on whatever it is given
// (antisymmetric and transitive), and no version is an upgrade over itself. The pieces are the
// input's lines, at most six.

#include "FuzzCheck.h"
#include "Updates/ReleaseChecks.h"

#include <cstddef>
#include <cstdint>

using namespace Vetron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList pieces
        = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(u'\n').mid(0, 6);
    const auto compare = [](const QString &a, const QString &b) {
        const int order = UpdateService::numericCompare(a, b);
        return (order > 0) - (order < 0);
    };
    for (const QString &a : pieces) {
        FUZZ_CHECK(compare(a, a) == 0);
        FUZZ_CHECK(!UpdateService::isUpgrade(a, a));
        for (const QString &b : pieces) {
            FUZZ_CHECK(compare(a, b) == -compare(b, a));
            for (const QString &c : pieces) {
                if (compare(a, b) <= 0 && compare(b, c) <= 0)
                    FUZZ_CHECK(compare(a, c) <= 0);
                if (compare(a, b) == 0 && compare(b, c) == 0)
                    FUZZ_CHECK(compare(a, c) == 0);
            }
        }
    }
    return 0;
}
