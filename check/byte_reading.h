// Reading little-endian numbers out of a file's bytes, as PE images and
// cabinets store them, with every offset checked against the size.
#ifndef OEM2SIF_CHECK_BYTE_READING_H
#define OEM2SIF_CHECK_BYTE_READING_H

#include <cstddef>
#include <cstdint>

namespace o2s {

// Whether bytes [offset, offset + length) lie within `size`. Checked in 64
// bits, so no sum wraps, also where size_t has 32 (the page).
inline bool Within(size_t size, uint64_t offset, uint64_t length) {
  return offset <= size && length <= size - offset;
}

inline unsigned Read16(const unsigned char* p) { return p[0] | (p[1] << 8); }

inline uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace o2s

#endif  // OEM2SIF_CHECK_BYTE_READING_H
