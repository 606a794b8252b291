// The page's entry points for an ISO image as the setup source: the engine's
// integration of the image (engine/image_integration.h) over a cache of the
// image's byte ranges that the worker fills. The worker reads a File only
// asynchronously, so a call never waits for a read: it says which ranges it
// lacks ("needed"), the worker adds them (o2s_iso_add) and calls again; the
// run restarts from the top each time, over a bigger cache. When it ends,
// the new image is a list of pieces: ranges of the original image and bytes
// the worker takes with o2s_iso_piece (patched sectors, zeros, appended
// sectors), which it concatenates (a Blob, or a save-file stream).
//
// Bounds: the cache holds at most kMaxCachedBytes (the page's memory goal:
// a setup folder's directories and the files the engine reads, a few MB on
// a real CD); since every round that lacks bytes asks for some the cache
// does not hold, the rounds are at most kMaxCachedBytes / kCacheChunk
// (1,024), and in practice a handful.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/image_integration.h"
#include "engine/survey_json.h"
#include "iso/range_cache_reader.h"
#include "web/layout.h"
#include "web/page_input.h"

namespace {

const uint64_t kMaxCachedBytes = 64u << 20;

// The result's fields and names, listed once: o2s_iso_layout tells them and
// web/test/iso-export.test.mjs holds web/worker/iso_protocol.js's
// declaration and the JSON made below to them.
#define O2S_ISO_FIELDS(X) X(stop) X(problem) X(subject) X(needed) X(cached) X(setupFolder) X(survey) X(files) \
  X(pieces) X(size) X(check)
#define O2S_ISO_PIECE_FIELDS(X) X(from) X(size) X(bytes)
#define O2S_ISO_CHECK_FIELDS(X) X(done) X(count) X(problems)
// cacheFull: the run needs more than the cache may hold (the export's bound);
// noImage: no o2s_iso_open yet; noMemory: no room for the check's workspace.
#define O2S_ISO_STOPS(X) X(none, kNone) X(needRanges, kNeedRanges) X(imageRefused, kImageRefused) \
  X(noSetupFolder, kNoSetupFolder) X(scratchFailed, kScratchFailed) X(unusable, kUnusable) X(noVersion, kNoVersion) \
  X(nothingTicked, kNothingTicked) X(applyFailed, kApplyFailed) X(updateRefused, kUpdateRefused)
#define O2S_ISO_PROBLEMS(X) X(unreadable, kUnreadable) X(notIso, kNotIso) X(blockSize, kBlockSize) X(cut, kCut) \
  X(sessions, kSessions) X(udf, kUdf) X(otherDescriptor, kOtherDescriptor) X(rockRidge, kRockRidge) \
  X(hybrid, kHybrid) X(interleaved, kInterleaved) X(extendedAttributes, kExtendedAttributes) X(pastEnd, kPastEnd) \
  X(loop, kLoop) X(badRecord, kBadRecord) X(tooDeep, kTooDeep) X(tooMany, kTooMany) X(pathTable, kPathTable) \
  X(multiExtent, kMultiExtent) X(nameTooLong, kNameTooLong) X(nameNotAscii, kNameNotAscii) \
  X(fileTooBig, kFileTooBig) X(nameTaken, kNameTaken) X(noJolietFolder, kNoJolietFolder) X(tooBig, kTooBig)
#define O2S_STOP_CASE(name, value) \
  case o2s::engine::ImageStop::value: return "\"" #name "\"";
#define O2S_PROBLEM_CASE(name, value) \
  case o2s::iso::IsoProblem::value: return "\"" #name "\"";
#define O2S_NAME_WORD(name, value) " " #name

std::unique_ptr<o2s::iso::RangeCacheReader> gReader;
std::string gJson;
std::vector<std::string> gPieces;  // the bytes of the last result's pieces, by index
// On the heap at first use, as check_web.cpp's: too big for the module's
// initial memory.
o2s::CheckWorkspace* gWorkspace = nullptr;
o2s::Finding gFindings[256];

std::string NameOf(o2s::engine::ImageStop stop) {
  switch (stop) { O2S_ISO_STOPS(O2S_STOP_CASE) }
  return "null";
}

std::string NameOf(o2s::iso::IsoProblem problem) {
  switch (problem) {
    case o2s::iso::IsoProblem::kNone: return "null";
    O2S_ISO_PROBLEMS(O2S_PROBLEM_CASE)
  }
  return "null";
}

std::string Number(uint64_t value) { return std::to_string(value); }

// A byte count or offset from JavaScript: a whole number JavaScript holds
// exactly, else false (a cast of anything else is undefined).
bool ByteCount(double value, uint64_t* out) {
  if (!(value >= 0 && value <= 9007199254740992.0) || value != static_cast<double>(static_cast<uint64_t>(value))) return false;
  *out = static_cast<uint64_t>(value);
  return true;
}

std::string ResultJson(const o2s::engine::ImageRun& run, const std::string& stop) {
  using o2s::engine::JsonString;
  using o2s::engine::TextFrom;
  const o2s::engine::ImageResult& result = run.result;
  std::string needed;
  if (result.stop == o2s::engine::ImageStop::kNeedRanges) {
    for (const o2s::iso::ByteRange& range : gReader->Needed()) {
      if (!needed.empty()) needed += ',';
      needed += "[" + Number(range.offset) + "," + Number(range.size) + "]";
    }
  }
  std::string survey = "null", files, pieces, size = "null", check = "null";
  if (!run.plan.runs.empty()) {
    o2s::engine::Survey shown = run.survey;
    shown.setupFolder = run.source.shownFolder;
    survey = o2s::engine::SurveyToJson(shown, run.plan);
  }
  gPieces.clear();
  if (result.stop == o2s::engine::ImageStop::kNone) {
    for (const auto& file : result.files) {
      if (!files.empty()) files += ',';
      files += "{\"name\":" + JsonString(file.name, TextFrom::kFileName) + ",\"size\":" + Number(file.bytes.size()) + "}";
    }
    uint64_t total = 0;
    if (!result.files.empty()) {
      for (auto& piece : o2s::iso::LayOut(result.update, gReader->Size())) {
        if (!pieces.empty()) pieces += ',';
        total += piece.size;
        if (piece.fromInput) {
          pieces += "{\"from\":" + Number(piece.from) + ",\"size\":" + Number(piece.size) + ",\"bytes\":null}";
        } else {
          pieces += "{\"from\":null,\"size\":" + Number(piece.size) + ",\"bytes\":" + Number(gPieces.size()) + "}";
          gPieces.push_back(std::move(piece.bytes));
        }
      }
      size = Number(total);
    }
    check = std::string("{\"done\":") + (result.checked ? "true" : "false") + ",\"count\":" + Number(result.check.count) +
            ",\"problems\":" + Number(result.check.problems) + "}";
  }
  return "{\"stop\":" + stop + ",\"problem\":" + NameOf(result.problem) + ",\"subject\":" +
         JsonString(result.subject, TextFrom::kFileName) + ",\"needed\":[" + needed + "],\"cached\":" +
         Number(gReader->CachedBytes()) + ",\"setupFolder\":" + JsonString(run.source.shownFolder, TextFrom::kFileName) +
         ",\"survey\":" + survey + ",\"files\":[" + files + "],\"pieces\":[" + pieces + "],\"size\":" + size +
         ",\"check\":" + check + "}";
}

}  // namespace

// Starts on an image of `size` bytes: an empty cache. Returns 0 for a size
// that is no byte count.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t o2s_iso_open(double size) {
  uint64_t bytes = 0;
  gReader.reset();
  gPieces.clear();
  if (!ByteCount(size, &bytes)) return 0;
  gReader.reset(new o2s::iso::RangeCacheReader(bytes, kMaxCachedBytes));
  return 1;
}

// Adds the image's bytes [offset, offset + size), a range the last result
// named. Returns 0 for a range not so laid out, or past the cache's bound.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t o2s_iso_add(double offset, const uint8_t* bytes, uint32_t size) {
  uint64_t at = 0;
  if (!gReader || !ByteCount(offset, &at)) return 0;
  return gReader->Add(at, std::string(reinterpret_cast<const char*>(bytes), size)) ? 1 : 0;
}

// The integration of the image's setup folder with the drivers in
// `driverFolders` (one path a line, as o2s_apply takes them), `ticks` (a
// line each "driver option 0|1") and `windows` (1 / 2, 0 none). Returns the
// UTF-8 JSON (*size bytes, valid until the next call): {"stop", "problem",
// "subject", "needed": [[offset, size]] (stop "needRanges": add them and
// call again), "cached", "setupFolder", "survey" (engine/survey_json.h, null
// until planned), "files": [{"name", "size"}], "pieces": [{"from", "size",
// "bytes"}] (from: the image's offset, or bytes: the index for
// o2s_iso_piece), "size" (the new image's), "check": {"done", "count",
// "problems"}}.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_iso_integrate(const char* driverFolders, const char* ticks,
                                                              uint32_t windows, uint32_t* size) {
  o2s::engine::ImageRun run;
  std::string stop;
  if (gWorkspace == nullptr) gWorkspace = static_cast<o2s::CheckWorkspace*>(malloc(sizeof(o2s::CheckWorkspace)));
  if (gReader && gWorkspace != nullptr) {
    std::vector<std::string> folders = LinesOf(driverFolders);
    std::map<unsigned, std::map<unsigned, bool>> ticked = TicksOf(ticks, folders.size());
    gReader->ForgetNeeded();
    run = o2s::engine::IntegrateImage(*gReader, folders, windows == 1 || windows == 2 ? windows : 0, ticked, gWorkspace,
                                      gFindings, sizeof gFindings / sizeof gFindings[0]);
    stop = NameOf(run.result.stop);
    if (run.result.stop == o2s::engine::ImageStop::kNeedRanges &&
        gReader->CachedBytes() + gReader->NeededBytes() > kMaxCachedBytes) {
      stop = "\"cacheFull\"";
    }
    gJson = ResultJson(run, stop);
  } else {
    gJson = gReader ? "{\"stop\":\"noMemory\"}" : "{\"stop\":\"noImage\"}";
  }
  *size = static_cast<uint32_t>(gJson.size());
  return gJson.data();
}

// The bytes of piece `index` of the last result (*size bytes), or null.
extern "C" EMSCRIPTEN_KEEPALIVE const uint8_t* o2s_iso_piece(uint32_t index, uint32_t* size) {
  if (index >= gPieces.size()) {
    *size = 0;
    return nullptr;
  }
  *size = static_cast<uint32_t>(gPieces[index].size());
  return reinterpret_cast<const uint8_t*>(gPieces[index].data());
}

// The result's fields and names, as lines of "table: word word".
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_iso_layout() {
  return "iso:" O2S_ISO_FIELDS(O2S_LAYOUT_NAME) "\n"
         "isoPiece:" O2S_ISO_PIECE_FIELDS(O2S_LAYOUT_NAME) "\n"
         "isoCheck:" O2S_ISO_CHECK_FIELDS(O2S_LAYOUT_NAME) "\n"
         "isoStop:" O2S_ISO_STOPS(O2S_NAME_WORD) " cacheFull noImage noMemory\n"
         "isoProblem:" O2S_ISO_PROBLEMS(O2S_NAME_WORD) "\n";
}
