// The one table of code page 1252: bytes 0x80-0x9F, where it parts from ISO-8859-1.
#include "platform/code_page.h"

namespace {

// The five bytes the code page leaves undefined keep their own value (the C1 control of the same number), as
// the system's conversion does, and faces draw them as their missing glyph.
constexpr uint16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

uint32_t cp1252ToUnicode(uint8_t byte) { return byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : byte; }
