// The reader of ssh's standard error: the line it keeps is the last non-empty line of the chunk,
// with no line break left in it.

#include "FuzzCheck.h"
#include "Protection/SshStandardError.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Vetron;

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\x0B' || c == u'\x0C' || c == QChar(0x85) || c == QChar(0x2028)
        || c == QChar(0x2029);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray chunk(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(chunk);
    const QString line = SshStandardError::lastLine(chunk);

    FUZZ_CHECK(std::none_of(line.cbegin(), line.cend(), isLineBreak));
    // Empty exactly when the chunk is nothing but line breaks.
    FUZZ_CHECK(line.isEmpty() == std::all_of(text.cbegin(), text.cend(), isLineBreak));
    if (!line.isEmpty()) {
        // It is the chunk's tail up to any trailing breaks.
        qsizetype end = text.size();
        while (end > 0 && isLineBreak(text.at(end - 1)))
            --end;
        FUZZ_CHECK(QStringView(text).first(end).endsWith(line));
        const qsizetype start = end - line.size();
        FUZZ_CHECK(start == 0 || isLineBreak(text.at(start - 1)));
    }
    return 0;
}
