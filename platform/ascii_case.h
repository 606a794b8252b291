// Letter case as Windows compares section, key and file names: only the
// ASCII letters A to Z fold; bytes at 0x80 and above (Shift_JIS lead and
// trail bytes among them) match exactly. One rule for the platform layer,
// the check and the engine.
#ifndef OEM2SIF_PLATFORM_ASCII_CASE_H
#define OEM2SIF_PLATFORM_ASCII_CASE_H

#include <cstddef>

namespace o2s {

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether the two byte runs are equal without regard to ASCII letter case.
inline bool EqualNoCase(const char* a, size_t aLength, const char* b, size_t bLength) {
  if (aLength != bLength) return false;
  for (size_t i = 0; i < aLength; ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace o2s

#endif  // OEM2SIF_PLATFORM_ASCII_CASE_H
