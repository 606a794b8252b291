// The check of a finished setup folder, a driver file's machine and the
// dosnet.inf edit, for the page: the same C++ as the native command
// oem2sif-check (check/), called through the module's exports.
//
// The check reads its folder from the module's file system. It needs the
// bytes of txtsetup.sif, txtsetup.sif.orig (where there is one), dosnet.inf
// (where there is one) and of the driver files that [SCSI.Load] names
// (plain or compressed); of every other file of the setup folder the name
// alone (an empty file) will do: those are only looked for, as the modules
// a driver imports. Name the folder as the user's is named (I386, AMD64)
// where that is known: its name tells the setup source's architecture
// before txtsetup.sif does.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "check/check.h"
#include "check/dosnet.h"
#include "check/driver_image.h"
#include "check/finding_text.h"
#include "check/setup_identity.h"

namespace {

const unsigned kMaxFindings = 1024;
const unsigned kNumbersPerFinding = 8;

// About 18 MB and 4 MB: taken at the first call only, since most runs of
// the module never check.
o2s::CheckWorkspace* gWorkspace = nullptr;
unsigned char* gUnpacked = nullptr;

o2s::Finding gFindings[kMaxFindings];
o2s::CheckResult gResult;
uint32_t gTable[kNumbersPerFinding * kMaxFindings];
char gText[2048];
std::vector<char> gDosnet;

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

// Checks `folder` (null or "" for the current folder). summary gets eight
// numbers: the status (0 checked, 1 no txtsetup.sif there, 2 txtsetup.sif
// unreadable, 3 path too long), the findings in the table, the problems
// among all findings, the findings left out of the table, the setup
// source's machine (0x14C x86, 0x8664 x64, 0x200 IA64, 0 unknown), what
// told it (check/setup_identity.h: 0 nothing, 1 [SetupData] Architecture,
// 2 the folder's name, 3 the platform section with most entries), and
// [SetupData]'s MajorVersion and MinorVersion (0 when not known).
// Returns eight numbers per finding, valid until the next check: kind
// (check/check.h: 1 to 99 problems, 101 and on notes), problem (1) or note
// (0), text file of the line (0 none, 1 txtsetup.sif, 2 dosnet.inf), line
// (from 1; 0 none), number (per kind: the ids, the machine, the
// subsystem, a capacity), then the addresses of the service, the file and
// the extra text, zero-ended bytes.
extern "C" EMSCRIPTEN_KEEPALIVE const uint32_t* o2s_check_folder(const char* folder, uint32_t* summary) {
  if (gWorkspace == nullptr) gWorkspace = static_cast<o2s::CheckWorkspace*>(malloc(sizeof(o2s::CheckWorkspace)));
  memset(&gResult, 0, sizeof gResult);
  summary[0] = gWorkspace == nullptr
                   ? 2
                   : static_cast<uint32_t>(o2s::CheckSetupFolder(folder, gWorkspace, gFindings, kMaxFindings, &gResult));
  summary[1] = gResult.count;
  summary[2] = gResult.problems;
  summary[3] = gResult.dropped;
  summary[4] = gResult.machine;
  summary[5] = gResult.machineEvidence;
  summary[6] = gResult.majorVersion;
  summary[7] = gResult.minorVersion;
  for (unsigned i = 0; i < gResult.count; ++i) {
    const o2s::Finding& f = gFindings[i];
    uint32_t* row = gTable + kNumbersPerFinding * i;
    row[0] = f.kind;
    row[1] = o2s::IsProblem(f.kind) ? 1 : 0;
    row[2] = f.place;
    row[3] = f.line;
    row[4] = f.number;
    row[5] = Address(f.service);
    row[6] = Address(f.file);
    row[7] = Address(f.extra);
  }
  return gTable;
}

// What txtsetup.sif's bytes (size of them) say of their setup source, as
// the check decides it (check/setup_identity.h), with the folder's own name
// (null or "" when not known): out gets the machine (0x14C x86, 0x8664 x64,
// 0x200 IA64, 0 unknown), the evidence (0 none, 1 [SetupData]
// Architecture, 2 the folder's name, 3 the platform section with most
// entries), MajorVersion and MinorVersion (0 when not known).
extern "C" EMSCRIPTEN_KEEPALIVE void o2s_setup_identity(const char* bytes, uint32_t size, const char* folderName,
                                                        uint32_t* out) {
  o2s::SetupIdentity identity;
  o2s::ReadSetupIdentity(bytes, size, folderName, &identity);
  out[0] = identity.machine;
  out[1] = identity.evidence;
  out[2] = identity.majorVersion;
  out[3] = identity.minorVersion;
}

// The console's text of finding `index` of the last check, as
// oem2sif-check prints it: code page 932, zero-ended, valid until the next
// call. Null for an index out of range.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_check_finding_text(uint32_t index) {
  if (index >= gResult.count) return nullptr;
  o2s::FormatFinding(gFindings[index], gResult, gText, sizeof gText);
  return gText;
}

// The [SCSI] description of the option whose [SCSI.Load] line names a
// driver built for another machine (finding kind 7) of the last check,
// zero-ended bytes as the file has them; "" for other findings or where
// [SCSI] has none; null for an index out of range.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_check_finding_option(uint32_t index) {
  return index < gResult.count ? gFindings[index].option : nullptr;
}

// The machine a driver file's bytes (plain, or a cabinet as name.sy_) are
// built for: the PE header's machine field (0x14C x86, 0x8664 x64, 0x200
// IA64 ...); 0 for no PE image; -1 for no bytes; -2 for a cabinet packed
// with LZX or Quantum (not read); -3 for one that unpacks to over 4 MB;
// -4 for a cabinet setup cannot unpack (damaged, of an unknown compression
// type, or one of a set). A PE cut short still tells its machine.
extern "C" EMSCRIPTEN_KEEPALIVE int32_t o2s_driver_machine(const unsigned char* bytes, uint32_t size) {
  if (gUnpacked == nullptr) gUnpacked = static_cast<unsigned char*>(malloc(o2s::kDriverFileCapacity));
  if (gUnpacked == nullptr) return -3;
  o2s::PeImage image;
  switch (o2s::ReadDriverImage(bytes, size, gUnpacked, o2s::kDriverFileCapacity, &image)) {
    case o2s::kDriverImage:
    case o2s::kDriverCut:  // the machine is known; the check says it is cut
      return static_cast<int32_t>(image.machine);
    case o2s::kDriverNotImage:
      return 0;
    case o2s::kDriverEmpty:
      return -1;
    case o2s::kDriverOtherPacking:
      return -2;
    case o2s::kDriverTooBig:
      return -3;
    case o2s::kDriverDamagedCabinet:
    case o2s::kDriverUnknownPacking:
    case o2s::kDriverContinuedCabinet:
      return -4;
  }
  return 0;
}

// Adds d1,NAME to [FloppyFiles.2] and [Files] of dosnet.inf's bytes
// (check/dosnet.h: once, after each section's last line, with the file's
// own line ends, every other byte kept). *result: 0 added, 1 both lines
// were there (the same bytes come back), 3 a name that cannot be a file
// name there. Returns the new bytes (*outSize of them; valid until the next
// call), or null for 3.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_add_to_dosnet(const char* bytes, uint32_t size,
                                                              const char* name, uint32_t* outSize,
                                                              int32_t* result) {
  // Two lines and a section header at most, each with its line ends.
  gDosnet.resize(size + 2 * (strlen(name) + sizeof "[FloppyFiles.2]d1,\r\n\r\n\r\n\r\n"));
  size_t written = 0;
  o2s::DosnetEditResult edit = o2s::AddDriverToDosnet(bytes, size, name, gDosnet.data(), gDosnet.size(), &written);
  *result = static_cast<int32_t>(edit);
  *outSize = static_cast<uint32_t>(written);
  return edit == o2s::kDosnetChanged || edit == o2s::kDosnetUnchanged ? gDosnet.data() : nullptr;
}
