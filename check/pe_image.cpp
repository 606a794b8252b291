#include "check/pe_image.h"

#include <cstdint>
#include <cstring>

#include "check/byte_reading.h"

namespace o2s {
namespace {

const unsigned kSectionHeaderSize = 40;
const unsigned kImportDescriptorSize = 20;
// More descriptors than this is no driver's: a damaged table.
const unsigned kMaxDescriptors = 1024;

struct Sections {
  uint64_t table;  // file offset of the section table
  unsigned count;
  uint32_t headersSize;
};

// The file offset of `rva`, or false when no section (nor the headers)
// holds it in the file.
bool RvaToOffset(const unsigned char* bytes, size_t size, const Sections& sections,
                 uint32_t rva, uint64_t* offset) {
  for (unsigned i = 0; i < sections.count; ++i) {
    uint64_t at = sections.table + static_cast<uint64_t>(i) * kSectionHeaderSize;
    if (!Within(size, at, kSectionHeaderSize)) return false;
    const unsigned char* header = bytes + at;
    uint32_t virtualSize = Read32(header + 8);
    uint32_t virtualAddress = Read32(header + 12);
    uint32_t rawSize = Read32(header + 16);
    uint32_t rawOffset = Read32(header + 20);
    uint32_t span = virtualSize > rawSize ? virtualSize : rawSize;
    if (rva < virtualAddress || rva - virtualAddress >= span) continue;
    if (rva - virtualAddress >= rawSize) return false;  // not in the file
    *offset = static_cast<uint64_t>(rawOffset) + (rva - virtualAddress);
    return *offset < size;
  }
  if (rva < sections.headersSize && rva < size) {
    *offset = rva;
    return true;
  }
  return false;
}

// Copies the zero-ended name at `offset` into `name`. False when it runs
// past the bytes or does not fit.
bool CopyName(const unsigned char* bytes, size_t size, uint64_t offset, char* name) {
  for (unsigned i = 0; i < kImportNameCapacity; ++i) {
    if (offset + i >= size) return false;
    name[i] = static_cast<char>(bytes[offset + i]);
    if (name[i] == '\0') return true;
  }
  return false;
}

void ReadImports(const unsigned char* bytes, size_t size, const Sections& sections,
                 uint32_t directoryRva, PeImage* image) {
  uint64_t at;
  if (!RvaToOffset(bytes, size, sections, directoryRva, &at)) {
    image->importsComplete = false;
    return;
  }
  for (unsigned i = 0; i < kMaxDescriptors; ++i, at += kImportDescriptorSize) {
    if (!Within(size, at, kImportDescriptorSize)) break;
    uint32_t nameRva = Read32(bytes + at + 12);
    uint32_t firstThunk = Read32(bytes + at + 16);
    if (nameRva == 0 && firstThunk == 0) return;  // the closing descriptor
    if (image->importCount == kMaxImports) break;
    uint64_t nameOffset;
    if (!RvaToOffset(bytes, size, sections, nameRva, &nameOffset) ||
        !CopyName(bytes, size, nameOffset, image->imports[image->importCount])) {
      image->importsComplete = false;
      continue;
    }
    ++image->importCount;
  }
  image->importsComplete = false;
}

// Whether the headers, the section table and each section's raw bytes lie
// within the file.
bool SectionsWithinFile(const unsigned char* bytes, size_t size, const Sections& sections) {
  if (sections.headersSize > size) return false;
  if (!Within(size, sections.table, static_cast<uint64_t>(sections.count) * kSectionHeaderSize)) return false;
  for (unsigned i = 0; i < sections.count; ++i) {
    const unsigned char* header = bytes + sections.table + static_cast<uint64_t>(i) * kSectionHeaderSize;
    uint32_t rawSize = Read32(header + 16);
    uint32_t rawOffset = Read32(header + 20);
    if (rawSize != 0 && !Within(size, rawOffset, rawSize)) return false;
  }
  return true;
}

}  // namespace

bool ReadPeImage(const unsigned char* bytes, size_t size, PeImage* image) {
  memset(image, 0, sizeof *image);
  image->importsComplete = true;
  if (!Within(size, 0, 0x40) || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  uint64_t pe = Read32(bytes + 0x3C);
  if (!Within(size, pe, 24) || memcmp(bytes + pe, "PE\0\0", 4) != 0) return false;
  const unsigned char* fileHeader = bytes + pe + 4;
  image->machine = Read16(fileHeader);
  unsigned sectionCount = Read16(fileHeader + 2);
  unsigned optionalSize = Read16(fileHeader + 16);
  uint64_t optional = pe + 24;
  if (!Within(size, optional, optionalSize) || optionalSize < 2) return false;
  unsigned magic = Read16(bytes + optional);
  // Where the Subsystem, NumberOfRvaAndSizes and the data directories lie.
  unsigned countAt, directoriesAt;
  if (magic == 0x10B) {
    countAt = 92;
    directoriesAt = 96;
  } else if (magic == 0x20B) {
    countAt = 108;
    directoriesAt = 112;
  } else {
    return false;
  }
  if (optionalSize < countAt + 4) return false;
  image->subsystem = Read16(bytes + optional + 68);
  Sections sections{optional + optionalSize, sectionCount, Read32(bytes + optional + 60)};
  image->withinFile = SectionsWithinFile(bytes, size, sections);
  uint32_t directoryCount = Read32(bytes + optional + countAt);
  // The import directory is the second data directory.
  if (directoryCount < 2 || optionalSize < directoriesAt + 16) return true;
  uint32_t importRva = Read32(bytes + optional + directoriesAt + 8);
  if (importRva == 0) return true;
  ReadImports(bytes, size, sections, importRva, image);
  return true;
}

const char* MachineName(unsigned machine) {
  switch (machine) {
    case kMachineX86:
      return "x86";
    case kMachineX64:
      return "x64";
    case kMachineIa64:
      return "IA64";
    default:
      return nullptr;
  }
}

}  // namespace o2s
