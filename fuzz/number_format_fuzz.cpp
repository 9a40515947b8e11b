// A number under any format code a workbook may give it: never a read or a
// write outside what the code and the number hold, and a format that is
// not reproduced gives exactly the General form (which the review then names).
//
// Input: the number's eight bytes, a byte of flags (bit 0: the 1904 date
// system; bit 1: a built-in format, its id the byte's upper bits), then the
// format's code.
#include "data/number_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9)
        return 0;
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    const uint8_t flags = data[8];
    NumberFormat format;
    if (flags & 2)
        format.id = (flags >> 2) % 50;
    else
        format.code.assign(reinterpret_cast<const char*>(data + 9), size - 9);
    std::string shown;
    if (!FormatCellNumber(value, format, (flags & 1) != 0, &shown) &&
        shown != GeneralNumber(value)) {
        std::fprintf(stderr, "not reproduced, yet not in the General form: \"%s\"\n",
                     shown.c_str());
        std::abort();
    }
    return 0;
}
