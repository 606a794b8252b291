// UTF-8 for other programs: the rules every system shares. Each system's
// console file gives code page 932's table of double-byte characters.
#include <cstddef>

#include "platform/console_output.h"
#include "platform/platform.h"

namespace o2s {
namespace {

const unsigned kReplacement = 0xFFFD;

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point of the UTF-8 sequence at text[0, size) and its length, or
// 0 where no valid sequence starts there.
size_t DecodeUtf8(const unsigned char* text, size_t size, unsigned* codePoint) {
  unsigned char c = text[0];
  if (c < 0x80) {
    *codePoint = c;
    return 1;
  }
  size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (length == 0 || length > size) return 0;
  unsigned value = c & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(text[i])) return 0;
    value = (value << 6) | (text[i] & 0x3F);
  }
  // Overlong forms, surrogates, past U+10FFFF.
  static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
  *codePoint = value;
  return length;
}

}  // namespace

bool AppendUtf8(unsigned codePoint, char* out, size_t capacity, size_t* at) {
  if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) codePoint = kReplacement;
  unsigned char bytes[4];
  size_t length;
  if (codePoint < 0x80) {
    bytes[0] = static_cast<unsigned char>(codePoint);
    length = 1;
  } else if (codePoint < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
    length = 2;
  } else if (codePoint < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
    length = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
    length = 4;
  }
  for (size_t i = 1; i < length; ++i) {
    bytes[i] = static_cast<unsigned char>(0x80 | ((codePoint >> (6 * (length - 1 - i))) & 0x3F));
  }
  if (*at > capacity || capacity - *at < length) return false;
  for (size_t i = 0; i < length; ++i) out[(*at)++] = static_cast<char>(bytes[i]);
  return true;
}

size_t Cp932ToUtf8(const char* text, size_t size, char* out, size_t capacity) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  for (size_t i = 0; i < size;) {
    unsigned char c = in[i];
    unsigned codePoint = kReplacement;
    size_t width = 1;
    if (c < 0x80) {
      codePoint = c;
    } else if (c >= 0xA1 && c <= 0xDF) {
      codePoint = 0xFF61 + (c - 0xA1u);  // half-width katakana
    } else if (IsLead(c) && i + 1 < size && IsTrail(in[i + 1])) {
      unsigned decoded = DecodeCp932Pair(c, in[i + 1]);
      // A pair the table lacks: an ASCII trail byte is read again, as
      // browsers do, so that a quote or backslash after it stays one.
      if (decoded != 0 || in[i + 1] >= 0x80) width = 2;
      if (decoded != 0) codePoint = decoded;
    }
    if (!AppendUtf8(codePoint, out, capacity, &at)) break;
    i += width;
  }
  return at;
}

size_t CheckedUtf8(const char* text, size_t size, char* out, size_t capacity) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  for (size_t i = 0; i < size;) {
    unsigned codePoint;
    size_t length = DecodeUtf8(in + i, size - i, &codePoint);
    if (length == 0) {
      codePoint = kReplacement;
      length = 1;
    }
    if (!AppendUtf8(codePoint, out, capacity, &at)) break;
    i += length;
  }
  return at;
}

#ifndef _WIN32  // Windows' names are in its ANSI code page (console_win.cpp)
size_t FileNameToUtf8(const char* name, size_t size, char* out, size_t capacity) {
  return CheckedUtf8(name, size, out, capacity);
}
#endif

}  // namespace o2s
