// The page's entry points into the engine: its survey, where every
// decision about the options (ticked, tickable, why, machine, versions,
// conflicts, files brought) is made, once, as for oem2sif-integrate, and the
// page only shows the JSON it gets; and the apply of its plan, which writes
// the files the zip and the write into a folder take. The worker lays out
// the picked files in the module's file system first; the engine reads them
// through the platform layer.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/apply.h"
#include "engine/folder_refusal.h"
#include "engine/plan.h"
#include "engine/survey.h"
#include "engine/survey_json.h"
#include "web/layout.h"
#include "web/page_input.h"

// A run's console bytes as the engine's apply prints them (engine/apply.h
// SetApplyConsoleObserver): to the worker, which passes them on to the page.
EM_JS(void, SendApplyConsole, (uint32_t run, const char* text, uint32_t length), {
  if (Module["onApplyConsole"]) Module["onApplyConsole"](run, text, length);
});

namespace {

std::string gJson;

// The bytes of a file of the module's file system; false where it has none.
bool ReadWhole(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The survey's input from the page's texts (o2s_survey's arguments).
o2s::engine::SurveyInput InputOf(const char* setupFolder, const char* setupFolderName, const char* driverFolders,
                                 const char* ticks, uint32_t windows) {
  o2s::engine::SurveyInput input;
  input.setupFolder = setupFolder;
  input.setupFolderName = setupFolderName;
  input.setupListingKnown = input.setupFolderName[0] != '\0';
  input.driverFolders = LinesOf(driverFolders);
  input.ticks = TicksOf(ticks, input.driverFolders.size());
  input.windows = windows == 1 || windows == 2 ? windows : 0;
  return input;
}

// The apply's outcome as the page reads it, each field and name listed
// once: o2s_apply_layout tells these lists, and web/test/protocol.test.mjs
// holds web/worker/protocol.js's declaration and the JSON made below to
// them.
#define O2S_APPLY_FIELDS(X) X(failure) X(subject) X(files) X(consoles) X(statuses) X(conflicts)
#define O2S_APPLY_FILE_FIELDS(X) X(name) X(action) X(written)
#define O2S_APPLY_ACTIONS(X) X(create, kCreate) X(replace, kReplace) X(same, kSame) X(keepBackup, kKeepBackup) \
  X(repair, kRepair) X(conflict, kConflict)
#define O2S_APPLY_FAILURES(X) X(setupFileMissing, kSetupFileMissing) X(setupFileChanged, kSetupFileChanged) \
  X(driverFileMissing, kDriverFileMissing) X(notRegularFile, kNotRegularFile) X(runFailed, kRunFailed) \
  X(writeFailed, kWriteFailed) X(scratchFailed, kScratchFailed) X(unsafeName, kUnsafeName) \
  X(fileTooBig, kFileTooBig)
#define O2S_ACTION_CASE(name, value) \
  case o2s::engine::FileAction::value: return "\"" #name "\"";
#define O2S_FAILURE_CASE(name, value) \
  case o2s::engine::ApplyFailure::value: return "\"" #name "\"";
#define O2S_NAME_WORD(name, value) " " #name

// A name as a JSON string, or null.
std::string NameOf(o2s::engine::FileAction action) {
  switch (action) { O2S_APPLY_ACTIONS(O2S_ACTION_CASE) }
  return "null";
}

std::string NameOf(o2s::engine::ApplyFailure failure) {
  switch (failure) {
    case o2s::engine::ApplyFailure::kNone: return "null";
    O2S_APPLY_FAILURES(O2S_FAILURE_CASE)
  }
  return "null";
}

// {"failure": name | null, "subject": path, "files": [{"name", "action",
// "written"}], "consoles": [text], "statuses": [number], "conflicts": the
// survey's of the files the apply ran on (engine/survey_json.h)}: the
// consoles converted from code page 932, as the tool printed them.
std::string OutcomeJson(const o2s::engine::ApplyOutcome& outcome, const o2s::engine::Survey& survey) {
  using o2s::engine::JsonString;
  using o2s::engine::TextFrom;
  std::string files;
  for (const o2s::engine::FileOutcome& file : outcome.files) {
    if (!files.empty()) files += ',';
    files += "{\"name\":" + JsonString(file.name, TextFrom::kFileName) + ",\"action\":" + NameOf(file.action) +
             ",\"written\":" + (file.written ? "true" : "false") + "}";
  }
  std::string consoles;
  for (const std::string& console : outcome.consoles) {
    if (!consoles.empty()) consoles += ',';
    consoles += JsonString(console, TextFrom::kCp932);
  }
  std::string statuses;
  for (int status : outcome.statuses) {
    if (!statuses.empty()) statuses += ',';
    statuses += std::to_string(status);
  }
  return "{\"failure\":" + NameOf(outcome.failure) + ",\"subject\":" + JsonString(outcome.subject, TextFrom::kFileName) +
         ",\"files\":[" + files + "],\"consoles\":[" + consoles + "],\"statuses\":[" + statuses + "],\"conflicts\":" +
         o2s::engine::ConflictsToJson(survey) + "}";
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
  o2s::engine::Survey survey =
      o2s::engine::SurveyIntegration(InputOf(setupFolder, setupFolderName, driverFolders, ticks, windows));
  gJson = o2s::engine::SurveyToJson(survey, o2s::engine::MakePlan(survey));
  *size = static_cast<uint32_t>(gJson.size());
  return gJson.data();
}

// The plan of the same survey (o2s_survey's arguments) carried out with the
// setup folder only read: every file it writes goes into `outputFolder` (an
// existing folder of the module's file system), from which the page takes
// them. Each run's console goes to Module.onApplyConsole(run, address,
// length) as it is printed. Returns the outcome's UTF-8 JSON (OutcomeJson,
// *size bytes), valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_apply(const char* setupFolder, const char* setupFolderName,
                                                     const char* driverFolders, const char* ticks, uint32_t windows,
                                                     const char* outputFolder, uint32_t* size) {
  o2s::engine::Survey survey =
      o2s::engine::SurveyIntegration(InputOf(setupFolder, setupFolderName, driverFolders, ticks, windows));
  auto before = o2s::engine::SetApplyConsoleObserver([](size_t run, const char* text, size_t length) {
    SendApplyConsole(static_cast<uint32_t>(run), text, static_cast<uint32_t>(length));
  });
  gJson = OutcomeJson(o2s::engine::ApplyPlanInto(o2s::engine::MakePlan(survey), outputFolder), survey);
  o2s::engine::SetApplyConsoleObserver(before);
  *size = static_cast<uint32_t>(gJson.size());
  return gJson.data();
}

// What the page's console shows before the answer (engine/apply.h
// MenuOfTool): {"menu": text, "quit": text, "quitStatus": number}, the
// texts converted from code page 932; UTF-8 JSON of *size bytes, valid
// until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_menu(uint32_t* size) {
  using o2s::engine::JsonString;
  using o2s::engine::TextFrom;
  o2s::engine::ToolMenu menu = o2s::engine::MenuOfTool();
  gJson = "{\"menu\":" + JsonString(menu.menu, TextFrom::kCp932) + ",\"quit\":" + JsonString(menu.quit, TextFrom::kCp932) +
          ",\"quitStatus\":" + std::to_string(menu.quitStatus) + "}";
  *size = static_cast<uint32_t>(gJson.size());
  return gJson.data();
}

// The outcome's fields and names, as lines of "table: word word".
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_apply_layout() {
  return "apply:" O2S_APPLY_FIELDS(O2S_LAYOUT_NAME) "\n"
         "applyFile:" O2S_APPLY_FILE_FIELDS(O2S_LAYOUT_NAME) "\n"
         "applyAction:" O2S_APPLY_ACTIONS(O2S_NAME_WORD) "\n"
         "applyFailure:" O2S_APPLY_FAILURES(O2S_NAME_WORD) "\n";
}

// Why the results may not be written into a folder (engine/folder_refusal.h
// RefusalOf): "none", "changedSince", "otherFolder" or "otherOrChanged".
// `files` holds the few files compared: "setup" and "backup" (the folder's
// txtsetup.sif and txtsetup.sif.orig, each where it has one), "original"
// (the picked txtsetup.sif when the chain began) and "known0" ...
// (`knownCount` of them: the txtsetup.sif each set started from, and the
// chain's result). The names are lines: the folder's, the picked folder's
// (none where not known) and the files the results bring.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_folder_refusal(const char* files, uint32_t knownCount, const char* names,
                                                              const char* pickedNames, const char* brought) {
  using o2s::engine::FolderRefusal;
  std::string dir = std::string(files) + "/";
  std::string setup, backup;
  o2s::engine::FolderToWrite folder;
  if (ReadWhole(dir + "setup", &setup)) folder.setupFile = &setup;
  if (ReadWhole(dir + "backup", &backup)) folder.setupBackup = &backup;
  folder.names = LinesOf(names);
  o2s::engine::ChainResults results;
  ReadWhole(dir + "original", &results.original);
  for (uint32_t i = 0; i < knownCount; ++i) {
    std::string known;
    if (ReadWhole(dir + "known" + std::to_string(i), &known)) results.setupFiles.push_back(std::move(known));
  }
  results.pickedNames = LinesOf(pickedNames);
  results.brought = LinesOf(brought);
  switch (o2s::engine::RefusalOf(folder, results)) {
    case FolderRefusal::kNone: return "none";
    case FolderRefusal::kChangedSince: return "changedSince";
    case FolderRefusal::kOtherFolder: return "otherFolder";
    case FolderRefusal::kOtherOrChanged: return "otherOrChanged";
  }
  return "otherOrChanged";
}
