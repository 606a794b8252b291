// Carries out an integration plan (apply.h).
//
// The runs are the tool's own code (ProcessDriverOptions), called in this
// process on copies in a scratch folder, each on the txtsetup.sif the one
// before left, as the page chains them. Only the bytes they leave are taken
// from there; every file of the setup folder is then written beside its
// place and renamed over it (ReplaceFileContent).
//
// The scratch folder lies in the system's temporary folder, not in the
// setup folder: a dry run, a refused plan or a failed run then leave the
// setup folder exactly as it was, and a killed apply leaves nothing in it
// (where the system cleans its temporary folder, nothing anywhere).
// Atomic replaces do not need the same volume: nothing is renamed out of
// the scratch folder.
#include "engine/apply.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "check/dosnet.h"
#include "check/setup_names.h"
#include "engine/survey.h"
#include "oem/driver_description.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/profile_lines.h"
#include "run/run_tool.h"

namespace o2s::engine {
namespace {

// Far above any setup or driver file (txtsetup.sif is some 600 KB, a
// driver a few hundred): a bigger file is refused, its size asked first.
const size_t kMaxFileBytes = size_t{64} << 20;

const char kBackupName[] = "txtsetup.sif.orig";
const char kDosnetName[] = "dosnet.inf";
const char kDosnetBackupName[] = "dosnet.inf.orig";
// The names the tool uses in its current folder, the scratch folder.
const char kRunSetup[] = ".\\txtsetup.sif";
const char kRunOem[] = ".\\txtsetup.oem";
const char kRunBackup[] = ".\\txtsetup.sif.orig";

std::string PathIn(const std::string& folder, const std::string& name) {
  if (folder.empty()) return ".\\" + name;
  char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

// A file of a folder as the platform finds it: in any letter case.
struct FoundFile {
  std::string path;
  std::string name;  // its own name there (the given one where it is missing)
  FileKind kind = kFileKindMissing;
};

FoundFile Find(const std::string& folder, const std::string& name) {
  FoundFile found;
  found.path = MapFileName(PathIn(folder, name).c_str());
  size_t slash = found.path.find_last_of("/\\");
  found.name = slash == std::string::npos ? found.path : found.path.substr(slash + 1);
  found.kind = GetFileKind(found.path.c_str());
  return found;
}

enum class ReadResult { kRead, kMissing, kNotRegular, kTooBig, kUnreadable };

// The whole file when it holds at most `limit` bytes. Its size comes with
// the first, small read, so a bigger file is never read.
ReadResult ReadWhole(const std::string& path, size_t limit, std::string* out) {
  size_t capacity = std::min(limit, size_t{1} << 16);
  for (;;) {
    out->resize(capacity + 1);
    size_t size = 0;
    switch (ReadFileBytes(path.c_str(), &(*out)[0], capacity, &size)) {
      case kFileRead:
        out->resize(size);
        return ReadResult::kRead;
      case kFileMissing:
        return ReadResult::kMissing;
      case kFileNotRegular:
      case kFileOutside:
        return ReadResult::kNotRegular;
      case kFileUnreadable:
        return ReadResult::kUnreadable;
      case kFileTooBig:
        break;
    }
    if (size > limit || capacity >= limit) return ReadResult::kTooBig;
    capacity = std::min(limit, std::max(size, 2 * capacity));
  }
}

// Whether `source` names a file below its driver folder: relative, no
// drive, no part that climbs or that Windows would read as another name
// (".", "..", a trailing dot or space). `folders` gets each folder on the
// way ("i386", "i386/Win2003").
bool StaysBelow(const std::string& source, std::vector<std::string>* folders) {
  if (source.empty() || source.front() == '/' || source.front() == '\\' ||
      source.find(':') != std::string::npos) {
    return false;
  }
  for (size_t start = 0;;) {
    size_t end = source.find_first_of("/\\", start);
    std::string part = source.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part.back() == '.' || part.back() == ' ') return false;
    if (end == std::string::npos) return true;
    folders->push_back(source.substr(0, end));
    start = end + 1;
  }
}

// A file a driver brings, read.
struct Brought {
  std::string name;
  std::string bytes;
  bool support;
  std::string value;
  std::string listed;
};

// The setup folder's file of a brought file's name, and its bytes (up to
// the brought file's size).
struct Namesake {
  FoundFile file;
  ReadResult read;
  std::string bytes;
};

// A file of the setup folder and what becomes of it.
struct Planned {
  FoundFile file;
  FileAction action;
  std::string bytes;   // what it gets
  std::string before;  // kReplace, kRepair: what it held when decided
};

// A file beside txtsetup.sif that the plan may write or keep.
struct Companion {
  FoundFile file;
  // kUnread: there, bigger than it was read for (a backup is only asked
  // whether it is empty); kUnreadable: there, and it cannot be read.
  enum State { kMissing, kEmpty, kRead, kUnread, kUnreadable } state;
  bool Empty() const { return state == kMissing || state == kEmpty; }
};

// What a run was about to write, as the page hears it: each option before
// its writes, `written` once one of them landed.
struct HeardOption {
  std::string service;
  std::string driverFile;
  bool written;
};

std::vector<HeardOption>* gHeard = nullptr;

void HearOption(const OptionDescription& option) {
  gHeard->push_back({option.idCount > 0 ? option.services[0] : "",
                     option.driverFile != nullptr ? option.driverFile : "", false});
}

void HearWrite(const char*, const char*, const char*, const char*) {
  if (!gHeard->empty()) gHeard->back().written = true;
}

void HearConsole(void* console, const char* text, size_t length) {
  static_cast<std::string*>(console)->append(text, length);
}

ApplyConsoleObserver gApplyConsoleObserver = nullptr;
size_t gConsoleRun = 0;

// A run's console: kept, and told as it is printed.
void HearRunConsole(void* console, const char* text, size_t length) {
  HearConsole(console, text, length);
  if (gApplyConsoleObserver != nullptr) gApplyConsoleObserver(gConsoleRun, text, length);
}

// The console printed into `console`, put back however it ends.
class ConsoleInto {
 public:
  explicit ConsoleInto(std::string* console) { SetConsoleSink(HearConsole, console); }
  ~ConsoleInto() { SetConsoleSink(nullptr, nullptr); }
  ConsoleInto(const ConsoleInto&) = delete;
  ConsoleInto& operator=(const ConsoleInto&) = delete;
};

// The hooks of one run, put back however it ends.
class RunHooks {
 public:
  RunHooks(std::vector<HeardOption>* heard, std::string* console) {
    gHeard = heard;
    options_ = SetOptionObserver(HearOption);
    writes_ = SetProfileWriteObserver(HearWrite);
    SetConsoleSink(HearRunConsole, console);
  }
  ~RunHooks() {
    SetConsoleSink(nullptr, nullptr);
    SetOptionObserver(options_);
    SetProfileWriteObserver(writes_);
    gHeard = nullptr;
  }
  RunHooks(const RunHooks&) = delete;
  RunHooks& operator=(const RunHooks&) = delete;

 private:
  OptionObserver options_;
  ProfileWriteObserver writes_;
};

// The profile engine keeps the files it read by name: a copy of another
// folder's file under the same name must be read afresh.
void ForgetRunFiles() {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, kRunSetup);
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, kRunOem);
}

// The scratch folder of one apply, left and removed however it ends.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder() {
    if (entered_) {
      ForgetRunFiles();
      LeaveFolder();
    }
    if (made_) RemoveScratchFolder(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool MakeAndEnter() {
    made_ = MakeScratchFolder(path_, sizeof path_) != 0;
    entered_ = made_ && EnterFolder(path_) != 0;
    if (entered_) ForgetRunFiles();
    return entered_;
  }

 private:
  char path_[4096] = {};
  bool made_ = false;
  bool entered_ = false;
};

bool WriteRunFile(const char* name, const std::string& bytes) {
  FileIdentity ignored;
  return ReplaceFileContent(MapFileName(name), bytes.data(), bytes.size(), &ignored);
}

class Apply {
 public:
  Apply(const IntegrationPlan& plan, const std::string& outputFolder, ApplyOutcome* outcome)
      : plan_(plan), outputFolder_(outputFolder), outcome_(outcome) {}

  // Every file is read before the first run prints: the page runs a plan
  // again once it has the bytes a read lacked, and shows only the console
  // of the run that had them all.
  void Run(bool dryRun) {
    if (!ReadSetupFolder() || !ReadDrivers() || !ReadNamesakes() || !RunChain()) return;
    if (!Decide()) return;
    for (const Planned& p : planned_) outcome_->files.push_back({p.file.name, p.action, false});
    if (!dryRun) Write();
  }

 private:
  // The first failure stands.
  bool Fail(ApplyFailure failure, const std::string& subject) {
    if (outcome_->failure == ApplyFailure::kNone) {
      outcome_->failure = failure;
      outcome_->subject = subject;
    }
    return false;
  }

  // Reads a file that must be a regular one of its folder; one that cannot
  // be read counts as missing (`whenMissing`).
  bool ReadFound(const FoundFile& file, ApplyFailure whenMissing, std::string* bytes) {
    if (file.kind == kFileKindOther || file.kind == kFileKindOutside) {
      return Fail(ApplyFailure::kNotRegularFile, file.path);
    }
    switch (ReadWhole(file.path, kMaxFileBytes, bytes)) {
      case ReadResult::kRead:
        return true;
      case ReadResult::kNotRegular:
        return Fail(ApplyFailure::kNotRegularFile, file.path);
      case ReadResult::kTooBig:
        return Fail(ApplyFailure::kFileTooBig, file.path);
      case ReadResult::kMissing:
      case ReadResult::kUnreadable:
        break;
    }
    return Fail(whenMissing, file.path);
  }

  bool ReadSetupFolder() {
    if (!IsPlainFileName(plan_.setupFile.data(), plan_.setupFile.size())) {
      return Fail(ApplyFailure::kUnsafeName, plan_.setupFile);
    }
    setup_ = Find(plan_.setupFolder, plan_.setupFile);
    if (setup_.kind == kFileKindMissing) return Fail(ApplyFailure::kSetupFileMissing, setup_.path);
    if (!ReadFound(setup_, ApplyFailure::kSetupFileMissing, &original_)) return false;
    backup_ = ReadCompanion(kBackupName, &backupBytes_);
    dosnet_ = ReadCompanion(kDosnetName, &dosnetBytes_);
    std::string ignored;
    dosnetBackup_ = ReadCompanion(kDosnetBackupName, &ignored, 0);
    // dosnet.inf is edited: one that cannot be read stops the plan. A
    // backup that cannot be read is kept (and not copied for the runs).
    if (outcome_->failure == ApplyFailure::kNone && dosnet_.state == Companion::kUnread) {
      Fail(ApplyFailure::kFileTooBig, dosnet_.file.path);
    } else if (outcome_->failure == ApplyFailure::kNone && dosnet_.state == Companion::kUnreadable) {
      Fail(ApplyFailure::kWriteFailed, dosnet_.file.path);
    }
    return outcome_->failure == ApplyFailure::kNone;
  }

  // txtsetup.sif.orig, dosnet.inf and its backup, read up to `limit` bytes.
  Companion ReadCompanion(const char* name, std::string* bytes, size_t limit = kMaxFileBytes) {
    Companion c{Find(plan_.setupFolder, name), Companion::kMissing};
    if (c.file.kind == kFileKindMissing) return c;
    if (c.file.kind != kFileKindRegular) {
      Fail(ApplyFailure::kNotRegularFile, c.file.path);
      return c;
    }
    switch (ReadWhole(c.file.path, limit, bytes)) {
      case ReadResult::kRead:
        c.state = bytes->empty() ? Companion::kEmpty : Companion::kRead;
        break;
      case ReadResult::kMissing:
        break;
      case ReadResult::kNotRegular:
        Fail(ApplyFailure::kNotRegularFile, c.file.path);
        break;
      case ReadResult::kTooBig:
        c.state = Companion::kUnread;
        break;
      case ReadResult::kUnreadable:
        c.state = Companion::kUnreadable;
        break;
    }
    return c;
  }

  bool ReadDrivers() {
    oems_.resize(plan_.runs.size());
    for (size_t r = 0; r < plan_.runs.size(); ++r) {
      const DriverRun& run = plan_.runs[r];
      if (!IsPlainFileName(run.oemFile.data(), run.oemFile.size())) {
        return Fail(ApplyFailure::kUnsafeName, run.oemFile);
      }
      FoundFile oem = Find(run.driverFolder, run.oemFile);
      if (oem.kind == kFileKindMissing) return Fail(ApplyFailure::kDriverFileMissing, oem.path);
      if (!ReadFound(oem, ApplyFailure::kDriverFileMissing, &oems_[r])) return false;
      for (const BroughtFile& file : run.files) {
        if (!ReadBrought(run, file)) return false;
      }
    }
    return true;
  }

  // Of two files of one name, the later run's, in the place of the first.
  bool ReadBrought(const DriverRun& run, const BroughtFile& file) {
    std::vector<std::string> folders;
    if (!StaysBelow(file.source, &folders)) return Fail(ApplyFailure::kUnsafeName, file.source);
    if (!IsPlainFileName(file.name.data(), file.name.size()) ||
        IsSetupOwnFile(file.name.data(), file.name.size())) {
      return Fail(ApplyFailure::kUnsafeName, file.name);
    }
    // Each folder on the way is a folder of the one above it, not a link
    // that leads elsewhere.
    for (const std::string& folder : folders) {
      std::string path = PathIn(run.driverFolder, folder);
      FileKind kind = GetFileKind(path.c_str());
      if (kind == kFileKindOutside) return Fail(ApplyFailure::kNotRegularFile, path);
      if (kind != kFileKindOther) return Fail(ApplyFailure::kDriverFileMissing, path);
    }
    FoundFile source;
    source.path = PathIn(run.driverFolder, file.source);
    source.kind = GetFileKind(source.path.c_str());
    if (source.kind == kFileKindMissing) return Fail(ApplyFailure::kDriverFileMissing, source.path);
    Brought read{file.name, {}, file.support, file.value, file.listed};
    if (!ReadFound(source, ApplyFailure::kDriverFileMissing, &read.bytes)) return false;
    std::string folded = FoldName(file.name);
    for (Brought& earlier : brought_) {
      if (FoldName(earlier.name) == folded) {
        earlier = std::move(read);
        return true;
      }
    }
    brought_.push_back(std::move(read));
    return true;
  }

  // The runs, in the scratch folder, chained on its txtsetup.sif. What the
  // tool's code keeps from one call to the next: the profile engine's
  // copies of files (forgotten around each run), the folder listings
  // (EnterFolder drops them), the tokenizer's position (each use starts
  // afresh) and the run's buffers (filled anew by each run).
  bool RunChain() {
    ScratchFolder scratch;
    bool backupRead = backup_.state == Companion::kEmpty || backup_.state == Companion::kRead;
    if (!scratch.MakeAndEnter() || !WriteRunFile(kRunSetup, original_) ||
        (backupRead && !WriteRunFile(kRunBackup, backupBytes_))) {
      return Fail(ApplyFailure::kScratchFailed, "");
    }
    for (size_t r = 0; r < plan_.runs.size(); ++r) {
      const DriverRun& run = plan_.runs[r];
      std::string oemPath = PathIn(run.driverFolder, run.oemFile);
      // From before the cut: a read of it that failed would keep no option.
      unsigned failuresBefore = FileFailures();
      if (!WriteRunFile(kRunOem, oems_[r])) return Fail(ApplyFailure::kScratchFailed, oemPath);
      ForgetRunFiles();
      if (!run.allOptions && !WriteRunFile(kRunOem, KeptOptions(oems_[r], run.keptOptions))) {
        return Fail(ApplyFailure::kScratchFailed, oemPath);
      }
      ForgetRunFiles();
      outcome_->consoles.emplace_back();
      gConsoleRun = r;
      {
        // The tool's whole console with the answer typed ahead: menu,
        // choice, the run, the final prompt.
        RunHooks hooks(&heard_, &outcome_->consoles.back());
        PrintMenu();
        int targetIsWindows2000 = PrintChoice(plan_.windows == WindowsTarget::k2000 ? '1' : '2');
        ProcessDriverOptions(static_cast<unsigned char>(targetIsWindows2000));
        PrintFinalPrompt();
      }
      if (FileFailures() != failuresBefore) return Fail(ApplyFailure::kRunFailed, oemPath);
      outcome_->statuses.push_back(kToolExitStatus);
    }
    ForgetRunFiles();
    FoundFile result;
    result.path = MapFileName(kRunSetup);
    result.kind = GetFileKind(result.path.c_str());
    if (!ReadFound(result, ApplyFailure::kRunFailed, &final_)) return false;
    return true;
  }

  // The copy in the scratch folder with only the kept options in its
  // [scsi] section, as the page cuts it.
  static std::string KeptOptions(const std::string& bytes, const std::vector<unsigned>& kept) {
    auto driver = std::make_unique<DriverDescription>();
    ReadDriverDescription(kRunOem, driver.get());
    std::vector<std::string> keys;
    for (unsigned index : kept) {
      if (index < driver->optionCount) keys.emplace_back(driver->optionKeys[index]);
    }
    return KeepSectionEntries(bytes, "scsi", keys);
  }

  // The names dosnet.inf gets, as the page takes them: per service the
  // driver file of the last run that wrote it, in the order the services
  // were first written, each name once; only plain printable ASCII.
  std::vector<std::string> DosnetNames() const {
    std::vector<std::pair<std::string, std::string>> byService;
    for (const HeardOption& option : heard_) {
      if (!option.written) continue;
      auto same = std::find_if(byService.begin(), byService.end(),
                               [&](const auto& entry) { return entry.first == option.service; });
      if (same != byService.end()) {
        same->second = option.driverFile;
      } else {
        byService.emplace_back(option.service, option.driverFile);
      }
    }
    std::vector<std::string> names;
    for (const auto& entry : byService) {
      const std::string& name = entry.second;
      bool printable = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x21 && static_cast<unsigned char>(c) <= 0x7e;
      });
      if (printable && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
  }

  std::string EditedDosnet() const {
    std::string text = dosnetBytes_;
    for (const std::string& name : DosnetNames()) {
      // Two lines and a section header at most, each with its line ends.
      std::string out(text.size() + 2 * (name.size() + sizeof "[FloppyFiles.2]d1,\r\n\r\n\r\n\r\n"), '\0');
      size_t size = 0;
      DosnetEditResult edit = AddDriverToDosnet(text.data(), text.size(), name.c_str(), &out[0], out.size(), &size);
      if (edit == kDosnetChanged || edit == kDosnetUnchanged) text.assign(out, 0, size);
    }
    // Files for GUI-mode setup are no boot files: [Files] alone.
    for (const std::string& name : supportNames_) text = WithLine(text, kDosnetFilesSection, name, kMatchDosnetFile, "d1," + name);
    return text;
  }

  // `text` with `line` in `section` unless it names `name` already.
  static std::string WithLine(const std::string& text, const char* section, const std::string& name,
                              SectionLineMatch match, const std::string& line) {
    // The line and a section header, each with its line ends.
    std::string out(text.size() + line.size() + strlen(section) + 16, '\0');
    size_t size = 0;
    DosnetEditResult edit = AddLineToSection(text.data(), text.size(), section, name.c_str(), match, line.c_str(),
                                             &out[0], out.size(), &size);
    return edit == kDosnetChanged ? out.substr(0, size) : text;
  }

  // What a file there becomes, planned to hold `bytes`.
  // The setup folder's file of each brought file's name, as the plan finds
  // it (PlanDriverFile).
  bool ReadNamesakes() {
    for (const Brought& file : brought_) {
      Namesake n{Find(plan_.setupFolder, file.name), ReadResult::kMissing, {}};
      if (n.file.kind == kFileKindOther || n.file.kind == kFileKindOutside) {
        return Fail(ApplyFailure::kNotRegularFile, n.file.path);
      }
      // Read up to the planned size: a longer file is no cut one.
      if (n.file.kind == kFileKindRegular) n.read = ReadWhole(n.file.path, file.bytes.size(), &n.bytes);
      if (n.read == ReadResult::kNotRegular) return Fail(ApplyFailure::kNotRegularFile, n.file.path);
      namesakes_.push_back(std::move(n));
    }
    return true;
  }

  void PlanDriverFile(const Brought& file, const Namesake& there) {
    Planned p{there.file, FileAction::kCreate, file.bytes, there.bytes};
    switch (there.read) {
      case ReadResult::kRead:
        p.action = p.before == file.bytes                                        ? FileAction::kSame
                   : file.bytes.compare(0, p.before.size(), p.before) == 0 ? FileAction::kRepair
                                                                               : FileAction::kConflict;
        break;
      case ReadResult::kMissing:
      case ReadResult::kNotRegular:
        break;
      case ReadResult::kTooBig:
      case ReadResult::kUnreadable:
        p.action = FileAction::kConflict;
        break;
    }
    planned_.push_back(std::move(p));
  }

  // The backup of a file the plan changes: where there is none, or an
  // empty one, the file as it was.
  void PlanBackup(const Companion& backup, const std::string& was) {
    FileAction action = backup.state == Companion::kMissing ? FileAction::kCreate
                        : backup.Empty()                    ? FileAction::kRepair
                                                            : FileAction::kKeepBackup;
    planned_.push_back({backup.file, action, action == FileAction::kKeepBackup ? "" : was, ""});
  }

  bool Decide() {
    for (size_t i = 0; i < brought_.size(); ++i) PlanDriverFile(brought_[i], namesakes_[i]);
    // A file for GUI-mode setup that lands gets its row and its dosnet.inf
    // line; one left alone (another file of its name there) gets neither.
    for (size_t i = 0; i < brought_.size(); ++i) {
      const Brought& file = brought_[i];
      if (!file.support || planned_[i].action == FileAction::kConflict) continue;
      supportNames_.push_back(file.listed);
      if (!file.value.empty()) {
        final_ = WithLine(final_, "SourceDisksFiles", file.listed, kMatchEntryKey, file.listed + " = " + file.value);
      }
    }
    bool setupChanges = final_ != original_;
    // An empty dosnet.inf is none, as on the page.
    bool hasDosnet = dosnet_.state == Companion::kRead;
    std::string dosnet = hasDosnet ? EditedDosnet() : dosnetBytes_;
    bool dosnetChanges = dosnet != dosnetBytes_;
    if (setupChanges) PlanBackup(backup_, original_);
    if (dosnetChanges) PlanBackup(dosnetBackup_, dosnetBytes_);
    if (hasDosnet) {
      planned_.push_back({dosnet_.file, dosnetChanges ? FileAction::kReplace : FileAction::kSame, dosnet, dosnetBytes_});
    }
    planned_.push_back({setup_, setupChanges ? FileAction::kReplace : FileAction::kSame, final_, original_});
    return true;
  }

  // Whether the file still is as it was when its action was decided.
  static bool StillAsDecided(const Planned& p) {
    if (p.action == FileAction::kCreate) return GetFileKind(p.file.path.c_str()) == kFileKindMissing;
    std::string now;
    return ReadWhole(p.file.path, p.before.size(), &now) == ReadResult::kRead && now == p.before;
  }

  // txtsetup.sif is read again before each write: once it has other bytes
  // than the runs started from, nothing more is written.
  void Write() {
    const Planned& setup = planned_.back();
    for (size_t i = 0; i < planned_.size(); ++i) {
      const Planned& p = planned_[i];
      bool writes = p.action == FileAction::kCreate || p.action == FileAction::kReplace ||
                    p.action == FileAction::kRepair;
      if (!writes) continue;
      if (!StillAsDecided(setup)) {
        Fail(ApplyFailure::kSetupFileChanged, setup.file.path);
        return;
      }
      if (&p != &setup && !StillAsDecided(p)) {
        Fail(ApplyFailure::kSetupFileChanged, p.file.path);
        return;
      }
      FileIdentity ignored;
      std::string path = outputFolder_.empty() ? p.file.path : PathIn(outputFolder_, p.file.name);
      if (!ReplaceFileContent(path, p.bytes.data(), p.bytes.size(), &ignored)) {
        Fail(ApplyFailure::kWriteFailed, path);
        return;
      }
      outcome_->files[i].written = true;
    }
  }

  const IntegrationPlan& plan_;
  const std::string outputFolder_;  // "": the setup folder itself
  ApplyOutcome* outcome_;
  FoundFile setup_;
  Companion backup_, dosnet_, dosnetBackup_;
  std::string original_, final_, backupBytes_, dosnetBytes_;
  std::vector<std::string> oems_;
  std::vector<Brought> brought_;
  std::vector<Namesake> namesakes_;  // brought_'s, index for index
  std::vector<std::string> supportNames_;
  std::vector<HeardOption> heard_;
  std::vector<Planned> planned_;
};

}  // namespace

ApplyOutcome ApplyPlan(const IntegrationPlan& plan, bool dryRun) {
  ApplyOutcome outcome;
  Apply(plan, "", &outcome).Run(dryRun);
  return outcome;
}

ApplyOutcome ApplyPlanInto(const IntegrationPlan& plan, const std::string& outputFolder) {
  ApplyOutcome outcome;
  if (outputFolder.empty()) {
    outcome.failure = ApplyFailure::kWriteFailed;
    return outcome;
  }
  Apply(plan, outputFolder, &outcome).Run(false);
  return outcome;
}

ApplyConsoleObserver SetApplyConsoleObserver(ApplyConsoleObserver observer) {
  ApplyConsoleObserver before = gApplyConsoleObserver;
  gApplyConsoleObserver = observer;
  return before;
}

ToolMenu MenuOfTool() {
  ToolMenu menu;
  {
    ConsoleInto console(&menu.menu);
    PrintMenu();
  }
  {
    ConsoleInto console(&menu.quit);
    PrintChoice('\n');
  }
  menu.quitStatus = kToolExitStatus;
  return menu;
}

}  // namespace o2s::engine
