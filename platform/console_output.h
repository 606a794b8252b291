// What each system's console file provides to the shared console code.
// Internal to platform/.
#ifndef OEM2SIF_PLATFORM_CONSOLE_OUTPUT_H
#define OEM2SIF_PLATFORM_CONSOLE_OUTPUT_H

#include <cstddef>

namespace o2s {

// Writes formatted console text (code page 932 bytes) to standard output,
// converted for a terminal or console where StartConsole chose to.
void WriteConsoleText(const char* text, size_t length);

}  // namespace o2s

#endif
