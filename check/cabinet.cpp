#include "check/cabinet.h"

#include <cstdint>
#include <cstring>

#include "check/byte_reading.h"
#include "platform/platform.h"

namespace o2s {
namespace {

const unsigned kHeaderSize = 36;
const unsigned kFolderSize = 8;
const unsigned kFileEntrySize = 16;
const unsigned kDataHeaderSize = 8;
const unsigned kFlagPrevious = 0x0001;
const unsigned kFlagNext = 0x0002;
const unsigned kFlagReserve = 0x0004;
const unsigned kMethodStored = 0;
const unsigned kMethodMszip = 1;
const unsigned kMethodQuantum = 2;
const unsigned kMethodLzx = 3;
// An MSZIP block unpacks to at most this much.
const size_t kMszipBlock = 32768;

// Skips a zero-ended text at *at; false when it runs past the bytes.
bool SkipText(const unsigned char* bytes, size_t size, uint64_t* at) {
  while (*at < size) {
    if (bytes[(*at)++] == '\0') return true;
  }
  return false;
}

}  // namespace

bool IsCabinet(const unsigned char* bytes, size_t size) {
  return size >= 4 && memcmp(bytes, "MSCF", 4) == 0;
}

namespace {

// Where the first file and its folder lie.
struct FirstFile {
  uint64_t length;
  uint64_t folderOffset;  // of the file in its unpacked folder
  uint64_t folderAt;      // the folder's entry
  unsigned dataReserve;
};

CabinetResult FindFirstFile(const unsigned char* bytes, size_t size, FirstFile* first) {
  if (!IsCabinet(bytes, size)) return kNotCabinet;
  if (!Within(size, 0, kHeaderSize)) return kCabinetDamaged;
  uint32_t filesAt = Read32(bytes + 16);
  unsigned folderCount = Read16(bytes + 26);
  unsigned fileCount = Read16(bytes + 28);
  unsigned flags = Read16(bytes + 30);
  uint64_t at = kHeaderSize;
  unsigned folderReserve = 0;
  first->dataReserve = 0;
  if (flags & kFlagReserve) {
    if (!Within(size, at, 4)) return kCabinetDamaged;
    unsigned headerReserve = Read16(bytes + at);
    folderReserve = bytes[at + 2];
    first->dataReserve = bytes[at + 3];
    at += 4 + headerReserve;
  }
  // Setup unpacks each compressed file on its own: a cabinet continued from
  // another (spanning) is none it can use.
  if (flags & kFlagPrevious) return kCabinetContinued;
  if (flags & kFlagNext) {
    if (!SkipText(bytes, size, &at) || !SkipText(bytes, size, &at)) return kCabinetDamaged;
  }
  if (fileCount == 0 || !Within(size, filesAt, kFileEntrySize)) return kCabinetDamaged;
  const unsigned char* file = bytes + filesAt;
  first->length = Read32(file);
  first->folderOffset = Read32(file + 4);
  unsigned folderIndex = Read16(file + 8);
  // Indexes from 0xFFFD on continue a file from or into another cabinet.
  if (folderIndex >= 0xFFFD) return kCabinetContinued;
  if (folderIndex >= folderCount) return kCabinetDamaged;
  first->folderAt = at + static_cast<uint64_t>(folderIndex) * (kFolderSize + folderReserve);
  if (!Within(size, first->folderAt, kFolderSize)) return kCabinetDamaged;
  return kCabinetUnpacked;
}

}  // namespace

int CabinetMethod(const unsigned char* bytes, size_t size) {
  FirstFile first;
  if (FindFirstFile(bytes, size, &first) != kCabinetUnpacked) return -1;
  return static_cast<int>(Read16(bytes + first.folderAt + 6) & 0x000F);
}

CabinetResult UnpackFirstCabinetFile(const unsigned char* bytes, size_t size,
                                     unsigned char* out, size_t capacity,
                                     size_t* fileSize) {
  FirstFile first;
  CabinetResult found = FindFirstFile(bytes, size, &first);
  if (found != kCabinetUnpacked) return found;
  uint64_t length = first.length;
  uint64_t folderOffset = first.folderOffset;
  uint64_t folderAt = first.folderAt;
  unsigned dataReserve = first.dataReserve;
  uint64_t dataAt = Read32(bytes + folderAt);
  unsigned blockCount = Read16(bytes + folderAt + 4);
  unsigned method = Read16(bytes + folderAt + 6) & 0x000F;
  if (method == kMethodQuantum || method == kMethodLzx) return kCabinetOtherMethod;
  if (method != kMethodStored && method != kMethodMszip) return kCabinetUnknownMethod;
  uint64_t needed = folderOffset + length;
  if (needed > capacity) return kCabinetTooBig;

  size_t produced = 0;
  for (unsigned block = 0; block < blockCount && produced < needed; ++block) {
    if (!Within(size, dataAt, kDataHeaderSize)) return kCabinetDamaged;
    unsigned packedSize = Read16(bytes + dataAt + 4);
    size_t unpackedSize = Read16(bytes + dataAt + 6);
    uint64_t payload = dataAt + kDataHeaderSize + dataReserve;
    if (!Within(size, payload, packedSize)) return kCabinetDamaged;
    if (unpackedSize > capacity - produced) return kCabinetTooBig;
    const unsigned char* data = bytes + payload;
    if (method == kMethodStored) {
      if (packedSize != unpackedSize) return kCabinetDamaged;
      memcpy(out + produced, data, unpackedSize);
    } else {
      // "CK", then one deflate stream whose history is the output so far.
      if (packedSize < 2 || data[0] != 'C' || data[1] != 'K' || unpackedSize > kMszipBlock) {
        return kCabinetDamaged;
      }
      size_t history = produced < kMszipBlock ? produced : kMszipBlock;
      size_t got = 0;
      if (!InflateRaw(data + 2, packedSize - 2, out + produced - history, history,
                      out + produced, unpackedSize, &got) ||
          got != unpackedSize) {
        return kCabinetDamaged;
      }
    }
    produced += unpackedSize;
    dataAt = payload + packedSize;
  }
  if (produced < needed) return kCabinetDamaged;
  memmove(out, out + folderOffset, static_cast<size_t>(length));
  *fileSize = static_cast<size_t>(length);
  return kCabinetUnpacked;
}

}  // namespace o2s
