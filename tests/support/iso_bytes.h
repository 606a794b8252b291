// Reading and patching an image's fields in the tests, as ISO 9660 lays
// them out: little-endian, and both-endian (the little half, then the big).
#ifndef OEM2SIF_TESTS_SUPPORT_ISO_BYTES_H
#define OEM2SIF_TESTS_SUPPORT_ISO_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace o2s_test {

inline uint32_t Le32(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8 |
         static_cast<unsigned char>(bytes[at + 2]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// A both-endian 32-bit field of a directory record or descriptor.
inline void PutBoth32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
    (*bytes)[at + 7 - i] = static_cast<char>(value >> (8 * i));
  }
}

// The ISO 9660 record whose identifier is `id` (its first occurrence), or
// npos.
inline size_t RecordOf(const std::string& image, const std::string& id) {
  size_t at = image.find(std::string(1, static_cast<char>(id.size())) + id);
  return at == std::string::npos ? at : at - 32;
}

}  // namespace o2s_test

#endif  // OEM2SIF_TESTS_SUPPORT_ISO_BYTES_H
