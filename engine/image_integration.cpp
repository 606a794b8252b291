#include "engine/image_integration.h"

#include <algorithm>
#include <set>
#include <utility>

#include "iso/setup_extract.h"
#include "platform/platform.h"

namespace o2s::engine {

namespace {

// The survey, without the messages the tool's reader prints while it reads
// each option: the plan says the same.
Survey SilentSurvey(const SurveyInput& input) {
  SetConsoleSink([](void*, const char*, size_t) {}, nullptr);
  Survey survey = SurveyIntegration(input);
  SetConsoleSink(nullptr, nullptr);
  return survey;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  bytes->assign(1 << 16, '\0');
  size_t size = 0;
  ReadFileResult result = ReadFileBytes(path.c_str(), &(*bytes)[0], bytes->size(), &size);
  if (result == kFileTooBig) {
    bytes->assign(size, '\0');
    result = ReadFileBytes(path.c_str(), &(*bytes)[0], bytes->size(), &size);
  }
  bytes->resize(size);
  return result == kFileRead;
}

// A stop: kNeedRanges whenever the reader lacked bytes, whatever the step
// made of the failed read.
template <typename Result>
bool Stop(iso::ImageReader& reader, Result* result, ImageStop stop, iso::IsoProblem problem, const std::string& subject) {
  result->stop = reader.Lacking() ? ImageStop::kNeedRanges : stop;
  result->problem = problem;
  result->subject = subject;
  return false;
}

std::string PathIn(const std::string& shown, const std::string& name) { return (shown == "/" ? "" : shown) + "/" + name; }

// Takes `record` out of the image into `folder`. A read the reader lacks
// leaves the file out and returns true (the caller asks for the bytes once
// every file was tried); a refusal returns false.
template <typename Result>
bool TakeOut(iso::ImageReader& reader, const iso::Image& image, const iso::Record& record, const std::string& folder,
             const std::string& shown, Result* result) {
  std::string bytes, subject;
  iso::IsoProblem problem = iso::ReadFileData(reader, image, record, kMaxTakenFile, &bytes, &subject);
  std::string name = iso::NameOf(record, false);
  // Only plain names are taken out (they match a driver's or setup's file
  // name); a hostile record's is never made a path.
  if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("/\\:\0", 4)) != std::string::npos) {
    result->stop = ImageStop::kImageRefused;
    result->problem = iso::IsoProblem::kBadRecord;
    result->subject = shown;
    return false;
  }
  if (problem != iso::IsoProblem::kNone) {
    if (reader.Lacking()) return true;
    return Stop(reader, result, ImageStop::kImageRefused, problem, PathIn(shown, name));
  }
  if (!WriteBytes(folder + "/" + name, bytes)) return Stop(reader, result, ImageStop::kScratchFailed, problem, folder);
  return true;
}

}  // namespace

ImageSource OpenImageSource(iso::ImageReader& reader, const std::vector<std::string>& driverFolders,
                            unsigned windows, const std::string& takenFolder) {
  using iso::IsoProblem;
  ImageSource source;
  IsoProblem problem = iso::ReadImage(reader, &source.image, &source.subject);
  if (problem != IsoProblem::kNone) {
    Stop(reader, &source, ImageStop::kImageRefused, problem, source.subject);
    return source;
  }
  const iso::Image& image = source.image;
  source.setupFolder = iso::ChooseSetupFolder(image);
  if (source.setupFolder < 0) {
    source.stop = ImageStop::kNoSetupFolder;
    return source;
  }
  source.setupFolders = iso::SetupFolders(image);
  const iso::Directory& dir = image.iso.directories[source.setupFolder];
  source.shownFolder = "/" + dir.path;
  std::string subject;
  problem = iso::ReadRecords(reader, image, image.iso, dir, &source.records, &subject);
  if (problem != IsoProblem::kNone) {
    Stop(reader, &source, ImageStop::kImageRefused, problem, subject);
    return source;
  }
  // Refused before anything is planned (PlanUpdate refuses it too, in
  // either tree).
  for (size_t r = 2; r < source.records.size(); ++r) {
    if ((source.records[r].flags & 0x80) != 0) {
      Stop(reader, &source, ImageStop::kImageRefused, IsoProblem::kMultiExtent,
           PathIn(source.shownFolder, iso::NameOf(source.records[r], false)));
      return source;
    }
  }

  std::set<std::string> takenFolded;
  auto takeOut = [&](const std::vector<std::string>& names) {
    for (const auto& record : iso::RecordsToExtract(source.records, names)) {
      std::string name = iso::NameOf(record, false);
      if (!takenFolded.insert(iso::FoldCase(name)).second) continue;
      if (!TakeOut(reader, image, record, takenFolder, source.shownFolder, &source)) return false;
      source.takenNames.push_back(name);
    }
    if (reader.Lacking()) return Stop(reader, &source, ImageStop::kNeedRanges, IsoProblem::kUnreadable, "");
    return true;
  };
  std::vector<std::string> driverNames;
  for (const std::string& folder : driverFolders) {
    for (const std::string& name : iso::FileNamesBelow(folder, kMaxDriverNames)) driverNames.push_back(name);
  }
  if (!takeOut(driverNames)) return source;

  source.input.setupFolder = takenFolder;
  source.input.setupFolderName = dir.path.empty() ? "ROOT" : dir.path.substr(dir.path.rfind('/') + 1);
  source.input.driverFolders = driverFolders;
  source.input.windows = windows;
  // The files the options name but their driver folders lack: the survey
  // looks for those in the setup folder too (setup's own copy), so they
  // are taken out before the survey that counts.
  Survey first = SilentSurvey(source.input);
  std::vector<std::string> named;
  for (const auto& driver : first.drivers) {
    for (const auto& row : driver.rows) {
      if (row.option.hasDriverFile) named.push_back(row.option.driverFile);
      for (const auto& line : row.option.files) named.push_back(line.name);
      for (const auto& support : row.support) named.push_back(support.name);
    }
  }
  takeOut(named);
  return source;
}

ImageResult IntegrateIntoImage(iso::ImageReader& reader, const ImageSource& source, const IntegrationPlan& plan,
                               const ImageFolders& folders, CheckWorkspace* workspace, Finding* findings,
                               unsigned capacity) {
  using iso::IsoProblem;
  ImageResult result;
  result.applied = ApplyPlanInto(plan, folders.written);
  if (result.applied.failure != ApplyFailure::kNone) {
    result.stop = ImageStop::kApplyFailed;
    return result;
  }
  // What landed in the written folder, in name order (in any letter case:
  // the engine's names differ in case from system to system, the image's
  // bytes do not): those bytes, nothing else, change in the image.
  std::vector<std::string> names;
  for (const auto& file : result.applied.files) {
    if (file.written) names.push_back(file.name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::make_pair(iso::FoldCase(a), a) < std::make_pair(iso::FoldCase(b), b);
  });
  for (const std::string& name : names) {
    result.files.push_back({name, ""});
    if (!ReadBytes(folders.written + "/" + name, &result.files.back().bytes)) {
      Stop(reader, &result, ImageStop::kScratchFailed, IsoProblem::kNone, folders.written + "/" + name);
      return result;
    }
  }
  // The check's folder: the files taken out, the written ones over them.
  std::set<std::string> taken;
  for (const std::string& name : source.takenNames) {
    CopyFileA((source.input.setupFolder + "/" + name).c_str(), (folders.checked + "/" + name).c_str(), 0);
    taken.insert(iso::FoldCase(name));
  }
  for (const auto& file : result.files) {
    DeleteFileA((folders.checked + "/" + file.name).c_str());  // the taken one, in any letter case
    if (!WriteBytes(folders.checked + "/" + file.name, file.bytes)) {
      Stop(reader, &result, ImageStop::kScratchFailed, IsoProblem::kNone, folders.checked);
      return result;
    }
    taken.insert(iso::FoldCase(file.name));
  }
  if (!result.files.empty()) {
    std::string subject;
    IsoProblem problem = iso::PlanUpdate(reader, source.image, source.setupFolder, result.files, &result.update, &subject);
    if (problem != IsoProblem::kNone) {
      Stop(reader, &result, ImageStop::kUpdateRefused, problem, subject);
      return result;
    }
  }
  // The check's rounds: what it finds missing and the image holds.
  for (int round = 0; round < 3; ++round) {
    CheckResult check;
    if (CheckSetupFolder(folders.checked.c_str(), workspace, findings, capacity, &check) != kCheckDone) break;
    std::set<std::string> wanted;
    for (unsigned i = 0; i < check.count; ++i) {
      const Finding& finding = findings[i];
      if (finding.kind == kFindingDriverMissing) wanted.insert(finding.file);
      if (finding.kind == kFindingImportMissing) wanted.insert(finding.extra);
      if (finding.kind == kFindingInfMissing) wanted.insert(finding.file);
      if (finding.kind == kFindingInfFileMissing) wanted.insert(finding.extra);
    }
    bool tookMore = false;
    for (const std::string& name : wanted) {
      char compressed[kFindingTextCapacity + 2];
      CompressedName(name.c_str(), compressed, sizeof compressed);
      for (const auto& record : source.records) {
        std::string folded = iso::FoldCase(iso::NameOf(record, false));
        if (record.IsDirectory() || taken.count(folded) != 0) continue;
        if (folded != iso::FoldCase(name) && folded != iso::FoldCase(compressed)) continue;
        if (!TakeOut(reader, source.image, record, folders.checked, source.shownFolder, &result)) return result;
        taken.insert(folded);
        tookMore = true;
      }
    }
    if (reader.Lacking()) {
      Stop(reader, &result, ImageStop::kNeedRanges, IsoProblem::kUnreadable, "");
      return result;
    }
    if (!tookMore) break;
  }
  result.checked = CheckSetupFolder(folders.checked.c_str(), workspace, findings, capacity, &result.check) == kCheckDone;
  return result;
}

namespace {

// Scratch folders made by the platform, removed when it goes.
struct Scratch {
  std::vector<std::string> folders;
  ~Scratch() {
    for (const std::string& folder : folders) RemoveScratchFolder(folder.c_str());
  }
  bool Make(std::string* path) {
    char buffer[1024];
    if (!MakeScratchFolder(buffer, sizeof buffer)) return false;
    folders.push_back(*path = buffer);
    return true;
  }
};

}  // namespace

ImageRun IntegrateImage(iso::ImageReader& reader, const std::vector<std::string>& driverFolders, unsigned windows,
                        const std::map<unsigned, std::map<unsigned, bool>>& ticks, CheckWorkspace* workspace,
                        Finding* findings, unsigned capacity) {
  ImageRun run;
  Scratch scratch;
  std::string taken;
  ImageFolders folders;
  if (!scratch.Make(&taken) || !scratch.Make(&folders.written) || !scratch.Make(&folders.checked)) {
    run.result.stop = ImageStop::kScratchFailed;
    return run;
  }
  run.source = OpenImageSource(reader, driverFolders, windows, taken);
  if (run.source.stop != ImageStop::kNone) {
    run.result.stop = run.source.stop;
    run.result.problem = run.source.problem;
    run.result.subject = run.source.subject;
    return run;
  }
  SurveyInput input = run.source.input;
  input.ticks = ticks;
  run.survey = SilentSurvey(input);
  bool unusable = run.survey.problem != SurveyProblem::kNone;
  for (const auto& driver : run.survey.drivers) {
    unusable = unusable || (driver.problem != DriverProblem::kNone && driver.problem != DriverProblem::kNoOptions);
  }
  if (unusable || run.survey.windows == 0) {
    run.result.stop = unusable ? ImageStop::kUnusable : ImageStop::kNoVersion;
    return run;
  }
  run.plan = MakePlan(run.survey);
  if (run.plan.runs.empty()) {
    run.result.stop = ImageStop::kNothingTicked;
    return run;
  }
  run.result = IntegrateIntoImage(reader, run.source, run.plan, folders, workspace, findings, capacity);
  return run;
}

}  // namespace o2s::engine
