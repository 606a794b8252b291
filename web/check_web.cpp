// The check of a finished setup folder, for the page: the same C++ as the native command oem2sif-check (check/), called
// through the module's exports.
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
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check/check.h"
#include "check/finding_text.h"
#include "check/pe_image.h"
#include "web/layout.h"

namespace {

// The check's summary: the status (0 checked, 1 no txtsetup.sif there, 2
// txtsetup.sif unreadable, 3 path too long), the findings in the table, the
// problems among all findings, the findings left out of the table, the
// setup source's machine (0x14C x86, 0x8664 x64, 0x200 IA64, 0 unknown),
// what told it (check/setup_identity.h: 0 nothing, 1 [SetupData]
// Architecture, 2 the folder's name, 3 the platform section with most
// entries), and [SetupData]'s MajorVersion and MinorVersion (0 when not
// known).
#define O2S_SUMMARY_FIELDS(X) X(status) X(count) X(problems) X(dropped) X(machine) X(evidence) X(major) X(minor)
// One finding: kind (check/check.h: 1 to 99 problems, 101 and on notes),
// problem (1) or note (0), text file of the line (0 none, 1 txtsetup.sif, 2
// dosnet.inf), line (from 1; 0 none), number (per kind: the ids, the
// machine, the subsystem, a capacity), then the addresses of the service,
// the file and the extra text, zero-ended bytes.
#define O2S_FINDING_FIELDS(X) X(kind) X(problem) X(place) X(line) X(number) X(service) X(file) X(extra)

struct Summary {
  O2S_SUMMARY_FIELDS(O2S_LAYOUT_MEMBER)
};
struct FindingRow {
  O2S_FINDING_FIELDS(O2S_LAYOUT_MEMBER)
};

const unsigned kMaxFindings = 1024;

// About 18 MB: taken at the first call only, since most runs of the module
// never check.
o2s::CheckWorkspace* gWorkspace = nullptr;

o2s::Finding gFindings[kMaxFindings];
o2s::CheckResult gResult;
FindingRow gTable[kMaxFindings];
char gText[2048];

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

// The tables below, as the page's worker reads them: lines of "table:"
// and its fields in order, or its codes as name=value.
// The machines are the PE header's (check/pe_image.h).
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_check_layout() {
  static char layout[512];
  snprintf(layout, sizeof layout,
           "summary:" O2S_SUMMARY_FIELDS(O2S_LAYOUT_NAME) "\n"
           "finding:" O2S_FINDING_FIELDS(O2S_LAYOUT_NAME) "\n"
           "machine: x86=%u x64=%u ia64=%u\n",
           o2s::kMachineX86, o2s::kMachineX64, o2s::kMachineIa64);
  return layout;
}

// Checks `folder` (null or "" for the current folder). summary gets the
// Summary above. Returns a FindingRow per finding, valid until the next
// check.
extern "C" EMSCRIPTEN_KEEPALIVE const FindingRow* o2s_check_folder(const char* folder, Summary* summary) {
  if (gWorkspace == nullptr) gWorkspace = static_cast<o2s::CheckWorkspace*>(malloc(sizeof(o2s::CheckWorkspace)));
  memset(&gResult, 0, sizeof gResult);
  summary->status = gWorkspace == nullptr
                        ? 2
                        : static_cast<uint32_t>(o2s::CheckSetupFolder(folder, gWorkspace, gFindings, kMaxFindings, &gResult));
  summary->count = gResult.count;
  summary->problems = gResult.problems;
  summary->dropped = gResult.dropped;
  summary->machine = gResult.machine;
  summary->evidence = gResult.machineEvidence;
  summary->major = gResult.majorVersion;
  summary->minor = gResult.minorVersion;
  for (unsigned i = 0; i < gResult.count; ++i) {
    const o2s::Finding& f = gFindings[i];
    FindingRow& row = gTable[i];
    row.kind = f.kind;
    row.problem = o2s::IsProblem(f.kind) ? 1 : 0;
    row.place = f.place;
    row.line = f.line;
    row.number = f.number;
    row.service = Address(f.service);
    row.file = Address(f.file);
    row.extra = Address(f.extra);
  }
  return gTable;
}

// The text of finding `index` of the last check in `language` (0 Japanese
// in code page 932, as oem2sif-check prints it; 1 English), zero-ended,
// valid until the next call. Null for an index out of range.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_check_finding_text(uint32_t index, uint32_t language) {
  if (index >= gResult.count) return nullptr;
  o2s::FormatFinding(gFindings[index], gResult, gText, sizeof gText,
                     language == 1 ? o2s::Language::kEnglish : o2s::Language::kJapanese);
  return gText;
}

// The [SCSI] description of the option whose [SCSI.Load] line names a
// driver built for another machine (finding kind 7) of the last check,
// zero-ended bytes as the file has them; "" for other findings or where
// [SCSI] has none; null for an index out of range.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_check_finding_option(uint32_t index) {
  return index < gResult.count ? gFindings[index].option : nullptr;
}
