// libFuzzer target: number format codes as workbooks declare them, arbitrary text, read and used
// to show numbers and dates. The first eight bytes are the value (any double: NaN, infinities,
// huge and tiny numbers included), the ninth picks the date system, the rest is the code in UTF-8.
#include "search/cells/number_format.h"

#include <QString>

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const cells::DateSystem dates =
        data[8] & 1 ? cells::DateSystem::From1904 : cells::DateSystem::From1900;
    const QString code =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 9), qsizetype(size - 9));
    const cells::NumberFormat format(code);
    // A shown number is one line of a cell: bounded by what the code itself writes.
    const QString shown = format.format(value, dates);
    if (shown.size() > 4096 + 64 * code.size())
        __builtin_trap();
    return 0;
}
