// The page's entry point into the engine's survey: every decision about the
// options (ticked, tickable, why, machine, versions, conflicts, files
// brought) is made here, once, as for oem2sif-integrate, and the page only
// shows the JSON it gets. The worker lays out the picked files in the
// module's file system first; the engine reads them through the platform
// layer.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "engine/survey.h"
#include "engine/survey_json.h"

namespace {

std::string gJson;

// The lines of `text` (line feeds between), empty lines left out.
std::vector<std::string> LinesOf(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* at = text; ; ++at) {
    if (*at == '\n' || *at == '\0') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
      if (*at == '\0') break;
    } else {
      line += *at;
    }
  }
  return lines;
}

}  // namespace

// The survey of `setupFolder` (named `setupFolderName`, "" where its files
// were picked one by one: its other files are not known then) with the
// drivers in `driverFolders` (one path a line, in run order). `ticks` holds
// what the user changed, a line each "driver option 0|1"; `windows` the
// answer the user forced (1 / 2), 0 for none. Returns the UTF-8 JSON of
// engine/survey_json.h (*size bytes), valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_survey(const char* setupFolder, const char* setupFolderName,
                                                      const char* driverFolders, const char* ticks,
                                                      uint32_t windows, uint32_t* size) {
  o2s::engine::SurveyInput input;
  input.setupFolder = setupFolder;
  input.setupFolderName = setupFolderName;
  input.setupListingKnown = input.setupFolderName[0] != '\0';
  input.driverFolders = LinesOf(driverFolders);
  for (const std::string& line : LinesOf(ticks)) {
    char* end = nullptr;
    unsigned long driver = strtoul(line.c_str(), &end, 10);
    unsigned long option = strtoul(end, &end, 10);
    unsigned long ticked = strtoul(end, &end, 10);
    if (driver < input.driverFolders.size()) input.ticks[driver][option] = ticked != 0;
  }
  input.windows = windows == 1 || windows == 2 ? windows : 0;
  o2s::engine::Survey survey = o2s::engine::SurveyIntegration(input);
  gJson = o2s::engine::SurveyToJson(survey, o2s::engine::MakePlan(survey));
  *size = static_cast<uint32_t>(gJson.size());
  return gJson.data();
}
