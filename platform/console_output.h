// What each system's console file provides to the shared console code.
// Internal to platform/.
#ifndef OEM2SIF_PLATFORM_CONSOLE_OUTPUT_H
#define OEM2SIF_PLATFORM_CONSOLE_OUTPUT_H

#include <cstddef>

namespace o2s {

// Writes formatted console text (code page 932 bytes) to standard output,
// converted for a terminal or console where StartConsole chose to.
void WriteConsoleText(const char* text, size_t length);

// The code point of a double-byte character of code page 932 (a lead byte
// 0x81-0x9F or 0xE0-0xFC, a trail byte 0x40-0x7E or 0x80-0xFC) by the
// system's table; 0 where the table has none.
unsigned DecodeCp932Pair(unsigned char lead, unsigned char trail);

// Writes the UTF-8 of `codePoint` (U+FFFD for a surrogate or a number past
// U+10FFFF) at out[*at] and moves *at past it; false, writing nothing,
// where it does not fit whole below `capacity`.
bool AppendUtf8(unsigned codePoint, char* out, size_t capacity, size_t* at);

}  // namespace o2s

#endif
