// What a setup source is, as its txtsetup.sif and its folder tell: the
// machine it installs and the Windows version. One decision, made here, for
// the check, the page and the tests.
#ifndef OEM2SIF_CHECK_SETUP_IDENTITY_H
#define OEM2SIF_CHECK_SETUP_IDENTITY_H

#include <cstddef>

namespace o2s {

// The numbers stay as they are: the page reads them.
enum MachineEvidence : unsigned {
  kMachineNotKnown = 0,
  kMachineFromSetupData = 1,   // [SetupData] Architecture = i386 / amd64 / ia64
  kMachineFromFolderName = 2,  // the folder is named I386 / AMD64 / IA64
  kMachineFromSections = 3,    // the [SourceDisksFiles.ARCH]/[SourceDisksNames.ARCH] with most entries
};

struct SetupIdentity {
  unsigned machine;            // kMachineX86 / kMachineX64 / kMachineIa64 (check/pe_image.h), 0 unknown
  MachineEvidence evidence;
  unsigned majorVersion;       // [SetupData] MajorVersion, 0 when absent or not a number
  unsigned minorVersion;       // [SetupData] MinorVersion (5.0 Windows 2000, 5.1 XP, 5.2 Server 2003)
};

// Reads txtsetup.sif's bytes as setup does (only up to the first 0x1A; a
// section that appears several times is one section) and decides in this
// order: [SetupData] Architecture, then the folder's own name (folderName,
// "" when not known), then the platform section with most entries.
// A 32-bit XP source also has .amd64 and .ia64 sections (for ntdetect.com,
// ntldr), so their mere presence says nothing; a tie of the most entries
// decides nothing. Reads nothing at or past bytes[size]; folderName may be
// null.
void ReadSetupIdentity(const char* bytes, size_t size, const char* folderName, SetupIdentity* identity);

// The bytes setup reads of a text file: up to its first 0x1A (the size of
// that part).
size_t SetupReadSize(const char* bytes, size_t size);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_SETUP_IDENTITY_H
