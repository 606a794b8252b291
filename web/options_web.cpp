// The options of a driver as a run would take them, for the page's list of
// drivers: the run's own reading of .\txtsetup.oem (its "scsi" section, cut
// and cleaned as the run cuts and cleans it), so the page keeps no reader of
// its own.
#include <emscripten.h>

#include "run/run_tool.h"

namespace {

char gOptionSection[o2s::kOptionSectionCapacity];
char* gKeys[o2s::kMaxOptions];
char* gDescriptions[o2s::kMaxOptions];
const char* gList[2 * o2s::kMaxOptions];

}  // namespace

// Reads .\txtsetup.oem of the current folder. Returns the key and the
// description of each option, in turn (*count options, 2 * *count
// zero-ended texts), valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* const* o2s_driver_options(unsigned* count) {
  *count = o2s::ReadDriverOptions(gOptionSection, gKeys, gDescriptions);
  for (unsigned i = 0; i < *count; ++i) {
    gList[2 * i] = gKeys[i];
    gList[2 * i + 1] = gDescriptions[i];
  }
  return gList;
}
