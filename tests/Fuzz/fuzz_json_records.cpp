// Every JSON record's decoding. The first byte picks the record ('a' the first of the list
// below, 'b' the second, …), the rest is the JSON text. A text that decodes must encode to JSON
// that decodes again to the same record and the same JSON.

#include "Foundation/Models.h"
#include "FuzzCheck.h"
#include "Protection/ProxyBackup.h"
#include "Updates/MacReleaseManifest.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

using namespace Vetron;

namespace {

template<class T>
concept Comparable = requires(const T &a, const T &b)
{
    {
        a == b
        } -> std::convertible_to<bool>;
};

// What the screens read of a record besides its members.
template<class T> void readAsViews(const T &value)
{
    if constexpr (std::is_base_of_v<ProtectedSession, T>) {
        (void)value.createdAtTime();
        (void)value.lastUsedAtTime();
    } else if constexpr (std::is_same_v<T, ProtectedSessionsResponse>) {
        for (const ProtectedSession &session : value.sessions)
            readAsViews(session);
    } else if constexpr (std::is_same_v<T, MacReleaseManifest>) {
        (void)value.address();
    }
}

template<JsonRecord T> void roundTrip(const QByteArray &text)
{
    T first;
    try {
        first = decodeJson<T>(text);
    } catch (const DecodingError &) {
        return;
    }
    readAsViews(first);
    const QByteArray encoded = encodeJson(first);
    T second;
    try {
        second = decodeJson<T>(encoded);
    } catch (const DecodingError &error) {
        std::fprintf(stderr, "re-decoding %s failed: %s\n", encoded.constData(), error.what());
        std::abort();
    }
    FUZZ_CHECK(encodeJson(second) == encoded);
    if constexpr (Comparable<T>)
        FUZZ_CHECK(second == first);
}

void listRoundTrip(const QByteArray &text)
{
    QList<ServiceProxyBackup> first;
    try {
        first = decodeJsonList<ServiceProxyBackup>(text);
    } catch (const DecodingError &) {
        return;
    }
    const QByteArray encoded = encodeJsonList(first);
    FUZZ_CHECK(decodeJsonList<ServiceProxyBackup>(encoded) == first);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    using Decoder = void (*)(const QByteArray &);
    static constexpr Decoder decoders[] = {
        roundTrip<ClientConfig>,              // a
        roundTrip<EnrollmentResult>,          // b
        roundTrip<ProtectionSettings>,        // c
        roundTrip<DeviceInfo>,                // d
        roundTrip<SubscriptionInfo>,          // e
        roundTrip<UsageResponse>,             // f
        roundTrip<DeviceSummary>,             // g
        roundTrip<ProtectedSession>,          // h
        roundTrip<ProtectedMapping>,          // i
        roundTrip<ProtectedSessionDetail>,    // j
        roundTrip<ProtectedSessionsResponse>, // k
        roundTrip<MacReleaseManifest>,        // l
        roundTrip<ProxyEndpoint>,             // m
        roundTrip<ServiceProxyBackup>,        // n
        listRoundTrip,                        // o: proxy-backup.json
    };
    constexpr std::size_t count = std::size(decoders);
    decoders[std::uint8_t(data[0] - 'a') % count](text);
    return 0;
}
