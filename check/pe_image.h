// What the check reads from a Windows PE image (a driver .sys, a DLL): the
// machine it is built for, its subsystem and the modules it imports. A
// plain procedure over the caller's bytes: it reads nothing outside them,
// whatever they hold, and allocates nothing.
#ifndef OEM2SIF_CHECK_PE_IMAGE_H
#define OEM2SIF_CHECK_PE_IMAGE_H

#include <cstddef>

namespace o2s {

// Machine field values of the setup sources' architectures.
const unsigned kMachineX86 = 0x014C;
const unsigned kMachineX64 = 0x8664;
const unsigned kMachineIa64 = 0x0200;

// The subsystem of drivers.
const unsigned kSubsystemNative = 1;

// The most imported modules listed, and the bytes of each name (its zero
// included). Drivers import a handful.
const unsigned kMaxImports = 32;
const unsigned kImportNameCapacity = 64;

struct PeImage {
  unsigned machine;      // the file header's Machine field
  unsigned subsystem;    // the optional header's Subsystem field
  unsigned importCount;  // names in imports
  // False when the import directory could not be read to its end: it runs
  // outside the bytes, or it names more than kMaxImports modules, or a name
  // longer than kImportNameCapacity - 1 bytes (left out). The names read up
  // to there are listed.
  bool importsComplete;
  // True when the headers (SizeOfHeaders), the section table and every
  // section's bytes in the file lie within the bytes: false for a file cut
  // short (a half-copied driver), which Windows will not load.
  bool withinFile;
  char imports[kMaxImports][kImportNameCapacity];  // as written, zero-ended
};

// Reads bytes[0, size) as a PE image: the "MZ" header, the "PE\0\0"
// signature it points to, the file header and a PE32 or PE32+ optional
// header within the bytes. False when they are not one (image is then
// unspecified); true with *image filled. Import names are looked up through
// the section table; an image without an import directory imports nothing.
bool ReadPeImage(const unsigned char* bytes, size_t size, PeImage* image);

// "x86", "x64" or "IA64" for the machines above; null for any other.
const char* MachineName(unsigned machine);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_PE_IMAGE_H
