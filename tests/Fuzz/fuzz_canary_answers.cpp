// The readers of the protection server's answers through the tunnel: the unlock answer and the
// status answer. The first two bytes are the HTTP status of the unlock answer, the rest its body
// (and the status answer's body).

#include "FuzzCheck.h"
#include "Protection/TunnelProtocolSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

using namespace Vetron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int status = data[0] << 8 | data[1];
    const QByteArray body(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));

    const bool accepted = TunnelProtocolSupport::acceptsUnlock(status, body);
    const bool unlocked = TunnelProtocolSupport::mapIsUnlocked(body);
    const QJsonObject object = QJsonDocument::fromJson(body).object();

    // A failing status is accepted only on an explicit boolean true.
    if (status >= 300)
        FUZZ_CHECK(accepted == (object.value(u"unlocked").isBool() && object.value(u"unlocked").toBool()));
    else
        FUZZ_CHECK(accepted);
    FUZZ_CHECK(!unlocked || object.value(u"map_unlocked") == QJsonValue(true));
    return 0;
}
