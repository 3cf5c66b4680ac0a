// The release manifest's signature check over arbitrary manifest texts, signatures and keys.
// The input is lines: version, url, sha256, signature (base64) and, optionally, a release key
// (base64 PKCS#1 DER) to use instead of the fixed one below, whose private half signed the seeds.

#include "FuzzCheck.h"
#include "Updates/ReleaseChecks.h"

#include <cstddef>
#include <cstdint>

using namespace Vetron;

namespace {

const QString releaseKey
    = QString::fromLatin1("MIIBigKCAYEAjPIIR0LeU8gfsIqm+guUdRbT0ydnk91v6cixptXHpAlmyHG8UnA0K1fJljyy2qV8"
                          "pMfOfyJNEyDPFQ341n3wmKSXYrvSWcQXPpI0gY/uhZyf6T0RX9l/uzkvTTj79kPj1Dhd5N8/L0/H"
                          "oITf8XbqIW6JAdNBu08x8oC0MaGe/Q6Xyoa8PcZLoeHqGJzdaB46dnScQjGu1qIZyEi+F40F+Im/"
                          "V5ilsisoj383d4SyUHm+rGSs0el7NU3Z9hTFWzjdAVKRpIfSV102wwIJBf0FZnhsxtFfcXEtdiGY"
                          "hYJd5Ffl3IUtoMnJd1pxpu0Z/aBsIOywcIkE8JvVaY8pqACwXSEKGcyAoo2tinlLQnpABKGKZppK"
                          "2HiW+cIp9ySxDxp3kPRyc3JH5cFgEdtDu4EGkOdFRl/KU9nR/1++ZtHPXixxwjn5FUXr9+XpzEco"
                          "wKG5r77/ltZdrOrdrJFNG3doExyQARakoDCfQ4hCyLQXH5ddvQCJhbmxpTUWUpNuyRotAgMBAAE=");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList lines
        = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(u'\n');
    if (lines.size() < 4)
        return 0;
    MacReleaseManifest manifest;
    manifest.version = lines.at(0);
    manifest.url = lines.at(1);
    manifest.sha256 = lines.at(2);
    manifest.signature = lines.at(3);
    const QString key = lines.size() > 4 ? lines.mid(4).join(u'\n') : releaseKey;

    const bool valid = UpdateService::verify(manifest, key);
    // The digest is signed in lower case: its case never changes the verdict.
    MacReleaseManifest upper = manifest;
    upper.sha256 = manifest.sha256.toUpper();
    FUZZ_CHECK(UpdateService::verify(upper, key) == valid);
    return 0;
}
