#include "engine/survey.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "check/cabinet.h"
#include "check/check.h"
#include "check/driver_image.h"
#include "check/inf_file.h"
#include "check/pe_image.h"
#include "check/setup_names.h"
#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace o2s::engine {
namespace {

bool PlainName(const std::string& name) { return IsPlainFileName(name.data(), name.size()); }

// A folder as given, without trailing separators; "" is the current one.
std::string FolderOf(const std::string& folder) {
  std::string out = folder;
  while (out.size() > 1 && (out.back() == '/' || out.back() == '\\')) out.pop_back();
  return out.empty() ? "." : out;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// The last part of a path.
std::string LastPart(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) out.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return out;
}

// The size of a regular file, found in any letter case; false where it is
// no regular file of its folder.
bool RegularFileSize(const std::string& path, size_t* size) {
  if (GetFileKind(path.c_str()) != kFileKindRegular) return false;
  char none;
  *size = 0;
  ReadFileResult result = ReadFileBytes(path.c_str(), &none, 0, size);
  return result == kFileRead || result == kFileTooBig;
}

// Whether a driver file is there: a regular file that holds something. An
// empty one is what a write cut short leaves: it counts as absent, in the
// driver's folder and in the setup folder alike.
bool FileThere(const std::string& path, size_t* size) { return RegularFileSize(path, size) && *size > 0; }

// The folder `below` names under `root`, each part found in any letter case
// as it is on disk. False where a part is missing or no folder; *refused
// where a part could lead outside `root` (.., a drive, a link out).
bool FolderBelow(const std::string& root, const std::string& below, std::string* onDisk, bool* refused) {
  *refused = false;
  onDisk->clear();
  std::vector<std::string> parts = Segments(below);
  if (!std::all_of(parts.begin(), parts.end(), PlainName)) {
    *refused = true;
    return false;
  }
  std::string path = root;
  for (const std::string& part : parts) {
    std::string mapped = MapFileName(Join(path, part).c_str());
    FileKind kind = GetFileKind(mapped.c_str());
    if (kind == kFileKindOutside) {
      *refused = true;
      return false;
    }
    if (kind != kFileKindOther) return false;
    path = mapped;
    *onDisk = Join(*onDisk, LastPart(mapped));
  }
  return true;
}

// The file `name` (plain, else compressed) in `folder` below `root`; an
// empty file is not there.
bool FileBelow(const std::string& root, const std::string& below, const std::string& name, FoundFile* found) {
  std::string folder;
  bool refused;
  if (!FolderBelow(root, below, &folder, &refused)) {
    if (refused) found->directoryRefused = true;
    return false;
  }
  for (const std::string& candidate : {name, CompressedFileName(name)}) {
    std::string path = MapFileName(Join(Join(root, folder), candidate).c_str());
    size_t size;
    if (FileThere(path, &size)) {
      found->found = true;
      found->folder = folder;
      found->name = LastPart(path);
      found->path = Join(folder, found->name);
      found->size = size;
      return true;
    }
  }
  return false;
}

// The versions vendors write in their options' folders and descriptions
// (the corpus: ULi's "\win_2000", "\win_xp", "\win_nt", "\WINXPA64";
// virtio's "\i386\Win2003"; "(WinNT 4.0)", "Windows XP/Server 2003", "for
// Windows 2000", "XP/2003/Vista"). Each spelling stands alone: not within a
// word or a number ("Express", "ICH10", "m52812K").
struct VersionSpelling {
  unsigned version;
  std::regex pattern;
};
std::regex Alone(const std::string& body) {
  return std::regex("(?:^|[^a-z0-9])(?:" + body + ")(?![a-z0-9])", std::regex::ECMAScript | std::regex::optimize);
}
const std::vector<VersionSpelling>& VersionSpellings() {
  static const std::vector<VersionSpelling> spellings = {
      {kNt4, Alone("win_?nt|winnt|(?:windows |win)?nt ?4(?:\\.0)?|nt40")},
      {kW2000, Alone("(?:win(?:dows)?[ _]?|w)?(?:2000|2k)")},
      {kXp, Alone("(?:win(?:dows)?[ _]?)?xp(?:a?64)?")},
      {kW2003, Alone("(?:win(?:dows)?[ _]?(?:server ?)?|server ?|w)?(?:2003|2k3)|srv03|wnet")},
      {kVista, Alone("vista|wlh|(?:win(?:dows)?[ _]?|w)(?:7|8|8\\.1|10|11)|"
                     "(?:win(?:dows)?[ _]?(?:server ?)?|server ?|w)20(?:08|12|16|19|22)(?: ?r2)?")},
  };
  return spellings;
}

bool FitsSetup(unsigned machine, unsigned setupMachine) {
  return machine == 0 || setupMachine == 0 || machine == setupMachine;
}

// The versions an option may name and fit: the setup's own; a 64-bit 5.2
// is Windows XP x64 as much as Server 2003 x64.
std::vector<unsigned> FittingVersions(unsigned version, unsigned machine) {
  if (version == kW2003 && (machine == kMachineX64 || machine == kMachineIa64)) return {kXp, kW2003};
  return {version};
}

bool Nt5(unsigned v) { return v >= kW2000 && v <= kW2003; }

RefusedName RefusalOf(const std::string& name) {
  if (!PlainName(name)) return RefusedName::kNotPlain;
  return IsSetupOwnFile(name.data(), name.size()) ? RefusedName::kSetupOwn : RefusedName::kNone;
}

// A disk's directory as a path below the driver's folder: "\i386\Win2003"
// is "i386/Win2003", "\" is "".
std::string PathBelow(const char* directory) {
  std::string out;
  for (const char* at = directory; *at != '\0'; ++at) {
    char c = *at == '\\' ? '/' : *at;
    if (c == '/' && (out.empty() || out.back() == '/')) continue;
    out.push_back(c);
  }
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

// The buffers a driver file is read and unpacked into: allocated once.
struct ImageBuffers {
  std::vector<unsigned char> bytes, unpacked;
};
ImageBuffers& Buffers() {
  static ImageBuffers buffers;
  if (buffers.bytes.empty()) {
    buffers.bytes.resize(kDriverFileCapacity);
    buffers.unpacked.resize(kDriverFileCapacity);
  }
  return buffers;
}

// A run as the survey foresees it: the services and ids the ticked options
// would write.
struct Written {
  std::string service, file;
  unsigned option;
};
struct RunOutcome {
  std::vector<Written> drivers;  // by service: first place, last option's entries
  std::vector<HardwareId> ids;   // by id: first place, last option's service
};

RunOutcome OutcomeOf(const DriverSurvey& driver) {
  RunOutcome run;
  for (const OptionRow& row : driver.rows) {
    if (!row.ticked || !row.tickable) continue;
    const OptionInfo& option = row.option;
    Written written{option.service, option.driverFile, option.index};
    auto at = std::find_if(run.drivers.begin(), run.drivers.end(),
                           [&](const Written& w) { return w.service == option.service; });
    if (at != run.drivers.end()) *at = written; else run.drivers.push_back(written);
    // Every id of an option maps to the option's service.
    for (const HardwareId& id : option.ids) {
      HardwareId mapped{id.id, id.match, option.service};
      auto same = std::find_if(run.ids.begin(), run.ids.end(),
                               [&](const HardwareId& h) { return h.match == id.match; });
      if (same != run.ids.end()) *same = mapped; else run.ids.push_back(mapped);
    }
  }
  return run;
}

// Where an option's file is, for telling two folders apart.
std::string WhereOf(const FoundFile& found) {
  if (found.found) return "found:" + found.folder;
  return found.hasDirectory ? "named:" + found.directory : "none";
}

void FindConflicts(Survey* survey) {
  std::vector<RunOutcome> runs;
  for (const DriverSurvey& driver : survey->drivers) runs.push_back(OutcomeOf(driver));
  for (unsigned d = 0; d < survey->drivers.size(); ++d) {
    std::vector<const OptionRow*> written;
    for (const OptionRow& row : survey->drivers[d].rows) {
      if (row.ticked && row.tickable && row.option.hasDriverFile) written.push_back(&row);
    }
    for (size_t j = 0; j < written.size(); ++j) {
      for (size_t i = 0; i < j; ++i) {
        const OptionRow& earlier = *written[i];
        const OptionRow& later = *written[j];
        bool sameService = earlier.option.service == later.option.service;
        bool sameFile = FoldName(earlier.option.driverFile) == FoldName(later.option.driverFile);
        if (!(sameService || sameFile) || (sameFile && WhereOf(earlier.found) == WhereOf(later.found))) continue;
        survey->optionConflicts.push_back({d, sameService ? earlier.option.service : later.option.driverFile,
                                           earlier.option.index, later.option.index});
      }
    }
  }
  for (unsigned j = 0; j < runs.size(); ++j) {
    for (unsigned i = 0; i < j; ++i) {
      // A driver given twice is no conflict with itself.
      if (FolderOf(survey->drivers[i].folder) == FolderOf(survey->drivers[j].folder)) continue;
      DriverConflict conflict{i, j, {}, {}};
      for (const Written& w : runs[j].drivers) {
        for (const Written& e : runs[i].drivers) {
          if (e.service == w.service) conflict.services.push_back(w.service);
        }
      }
      for (const HardwareId& id : runs[j].ids) {
        for (const HardwareId& e : runs[i].ids) {
          if (e.match == id.match && e.service != id.service) conflict.ids.push_back({id.id, e.service, id.service});
        }
      }
      if (!conflict.services.empty() || !conflict.ids.empty()) survey->driverConflicts.push_back(conflict);
    }
  }
}

// Calls onEntry(key, value), both folded, for each entry of a setup file's
// sections whose folded name `wanted` takes, in file order; setup reads the
// file only up to SetupReadSize.
template <typename Wanted, typename OnEntry>
void ForEachEntry(const std::string& bytes, Wanted wanted, OnEntry onEntry) {
  size_t size = SetupReadSize(bytes.data(), bytes.size());
  bool inSection = false;
  for (size_t at = 0; at < size;) {
    ProfileLine line;
    at = ReadProfileLine(bytes.data(), size, at, &line);
    if (line.kind == kProfileHeader) {
      inSection = wanted(FoldName(bytes.substr(line.nameOffset, line.nameLength)));
    } else if (inSection && line.kind == kProfileEntry) {
      onEntry(FoldName(bytes.substr(line.nameOffset, line.nameLength)),
              FoldName(bytes.substr(line.valueOffset, line.valueLength)));
    }
  }
}

// The entries of one section of a setup file whose folded keys are in
// `keys`: the first of a key stands, as setup reads it; a repeated section
// adds to it. Only those kept: a 10 MB file maps some 70,000 ids.
std::map<std::string, std::string> SectionEntries(const std::string& bytes, const std::string& section,
                                                  const std::set<std::string>& keys) {
  std::map<std::string, std::string> entries;
  if (keys.empty()) return entries;
  ForEachEntry(bytes, [&](const std::string& name) { return name == section; },
               [&](std::string key, std::string value) {
                 if (keys.count(key) > 0) entries.emplace(std::move(key), std::move(value));
               });
  return entries;
}

std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

void FindSetupConflicts(const std::string& setupBytes, const std::string& backupBytes, Survey* survey) {
  std::vector<RunOutcome> runs;
  std::set<std::string> services, idsWritten;
  for (const DriverSurvey& driver : survey->drivers) {
    runs.push_back(OutcomeOf(driver));
    for (const Written& w : runs.back().drivers) services.insert(w.service);
    for (const HardwareId& id : runs.back().ids) idsWritten.insert(id.match);
  }
  auto loads = SectionEntries(setupBytes, "scsi.load", services);
  auto loadsBefore = SectionEntries(backupBytes, "scsi.load", services);
  auto ids = SectionEntries(setupBytes, "hardwareidsdatabase", idsWritten);
  auto idsBefore = SectionEntries(backupBytes, "hardwareidsdatabase", idsWritten);
  for (unsigned d = 0; d < survey->drivers.size(); ++d) {
    const RunOutcome& run = runs[d];
    SetupConflict conflict{d, {}, {}};
    for (const Written& w : run.drivers) {
      auto now = loads.find(w.service);
      if (now == loads.end() || loadsBefore.count(w.service) > 0) continue;
      if (now->second != FoldName(w.file + ",4")) conflict.services.push_back(w.service);
    }
    for (const HardwareId& id : run.ids) {
      auto now = ids.find(id.match);
      if (now == ids.end()) continue;
      auto before = idsBefore.find(id.match);
      if (before != idsBefore.end() && before->second == now->second) continue;
      std::string from = Unquoted(now->second);
      if (from != id.service) conflict.ids.push_back({id.id, from, id.service});
    }
    if (!conflict.services.empty() || !conflict.ids.empty()) survey->setupConflicts.push_back(conflict);
  }
}

// The services the runs would write, the last run's entries staying, and
// which driver files go into the setup folder: of two of one name, the
// later run's; never one of a refused option, never one of the setup's own
// names, never one already in the setup folder itself.
void PlanDrivers(const SurveyInput& input, Survey* survey) {
  std::vector<PlannedDriver>& planned = survey->planned;
  for (unsigned d = 0; d < survey->drivers.size(); ++d) {
    for (const Written& w : OutcomeOf(survey->drivers[d]).drivers) {
      PlannedDriver p;
      p.service = w.service;
      p.file = w.file;
      p.driver = d;
      p.option = w.option;
      auto at = std::find_if(planned.begin(), planned.end(),
                             [&](const PlannedDriver& e) { return e.service == w.service; });
      if (at != planned.end()) *at = p; else planned.push_back(p);
    }
  }
  std::string setupFolder = FolderOf(survey->setupFolder);
  std::vector<std::string> taken;  // lower-case names, first place
  std::vector<PlannedDriver*> takenBy;
  for (PlannedDriver& p : planned) {
    const DriverSurvey& driver = survey->drivers[p.driver];
    const OptionRow* row = nullptr;
    for (const OptionRow& r : driver.rows) {
      if (r.option.index == p.option) row = &r;
    }
    p.source = row->found;
    p.inSetup = input.setupListingKnown ? SetupFolderHas(survey->setupFolder, p.file, &p.setupName) : SetupHas::kUnknown;
    p.missing = !p.source.found && (p.inSetup == SetupHas::kAbsent || p.inSetup == SetupHas::kEmpty);
    p.unsure = !p.source.found && p.inSetup == SetupHas::kUnknown;
    if (!p.source.found || row->refused != RefusedName::kNone) continue;
    if (IsSetupOwnFile(p.source.name.data(), p.source.name.size())) continue;
    if (FolderOf(Join(FolderOf(driver.folder), p.source.folder)) == setupFolder) continue;
    std::string lower = FoldName(p.source.name);
    auto at = std::find(taken.begin(), taken.end(), lower);
    if (at == taken.end()) {
      taken.push_back(lower);
      takenBy.push_back(&p);
    } else if (takenBy[static_cast<size_t>(at - taken.begin())]->driver <= p.driver) {
      takenBy[static_cast<size_t>(at - taken.begin())] = &p;
    }
  }
  for (PlannedDriver* p : takenBy) p->brought = true;
}

void SurveyDriver(const std::string& folder, const SetupIdentity* setup,
                  const std::map<unsigned, bool>* ticks, DriverSurvey* out) {
  out->folder = folder;
  std::string root = FolderOf(folder);
  std::string oem = MapFileName(Join(root, "txtsetup.oem").c_str());
  out->oemFile = LastPart(oem);
  switch (GetFileKind(oem.c_str())) {
    case kFileKindMissing:
      out->problem = DriverProblem::kNoOemFile;
      return;
    case kFileKindOther:
    case kFileKindOutside:
      out->problem = DriverProblem::kNotRegular;
      return;
    case kFileKindRegular:
      break;
  }
  size_t size;
  if (!RegularFileSize(oem, &size)) {
    out->problem = DriverProblem::kUnreadable;
    return;
  }
  if (size > kMaxOemFileSize) {
    out->problem = DriverProblem::kTooBig;
    return;
  }
  static DriverDescription description;
  static OptionDescription option;
  ReadDriverDescription(oem.c_str(), &description);
  std::vector<OptionInfo> options;
  std::vector<FoundFile> found;
  std::vector<int> machines;
  for (unsigned i = 0; i < description.optionCount; ++i) {
    if (!ReadOptionDescription(oem.c_str(), description, i, &option)) continue;
    options.push_back(OptionInfoOf(option));
    found.push_back(FindOptionSource(root, options.back()));
    const FoundFile& f = found.back();
    machines.push_back(f.found ? ReadMachine(Join(Join(root, f.folder), f.name), f.size) : 0);
  }
  if (description.optionCount == 0) out->problem = DriverProblem::kNoOptions;
  out->rows = OptionRows(std::move(options), found, machines, setup, ticks);
  for (OptionRow& row : out->rows) SurveySupport(folder, setup != nullptr ? setup->machine : 0, &row);
}

// The names txtsetup.sif's [SourceDisksFiles] sections list, folded.
std::set<std::string> ListedFiles(const std::string& bytes) {
  std::set<std::string> names;
  ForEachEntry(bytes, [](const std::string& name) { return name == "sourcedisksfiles" || name.rfind("sourcedisksfiles.", 0) == 0; },
               [&](std::string key, const std::string&) { names.insert(std::move(key)); });
  return names;
}

// The files for GUI-mode setup that the runs bring: of each ticked option
// that would run, each found one; never one that Windows' own txtsetup.sif
// (its backup where the folder has one) lists, nor one a driver file of
// the plan bears the name of; of two of one name, the later run's.
void PlanSupport(const Survey& partial, const std::string& setupBytes, const std::string& windowsOwn,
                 std::vector<PlannedSupport>* support) {
  std::set<std::string> listed = ListedFiles(windowsOwn);
  std::set<std::string> drivers;
  for (const PlannedDriver& p : partial.planned) {
    if (p.brought) drivers.insert(FoldName(p.source.name));
  }
  std::string setupFolder = FolderOf(partial.setupFolder);
  for (unsigned d = 0; d < partial.drivers.size(); ++d) {
    const DriverSurvey& driver = partial.drivers[d];
    if (driver.problem != DriverProblem::kNone) continue;
    if (FolderOf(driver.folder) == setupFolder) continue;
    for (const OptionRow& row : driver.rows) {
      if (!row.ticked || !row.tickable) continue;
      for (const SupportFile& file : row.support) {
        if (file.unsafe || !file.found.found) continue;
        if (IsSetupOwnFile(file.found.name.data(), file.found.name.size())) continue;
        std::string folded = FoldName(file.found.name);
        if (drivers.count(folded) > 0 || drivers.count(FoldName(file.name)) > 0) continue;
        PlannedSupport p{file.found.name, file.name, file.kind, d, row.option.index, file.found,
                         SourceDisksFilesValue(file.kind, setupBytes), listed.count(FoldName(file.name)) > 0, false};
        auto same = std::find_if(support->begin(), support->end(),
                                 [&](const PlannedSupport& e) { return FoldName(e.name) == folded; });
        if (same != support->end()) {
          same->brought = false;  // the later run's stands
        }
        p.brought = !p.listedBySetup;
        support->push_back(p);
      }
    }
  }
}

}  // namespace

std::string FoldName(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// Setup reads a driver file as it is or compressed, with the last letter of
// its extension made "_" (a short or missing extension gets one).
std::string CompressedFileName(const std::string& name) {
  std::string out(name.size() + 3, '\0');
  CompressedName(name.c_str(), &out[0], out.size());
  out.resize(strlen(out.c_str()));
  return out;
}

OptionInfo OptionInfoOf(const OptionDescription& option) {
  OptionInfo info;
  info.index = option.index;
  info.key = option.key;
  info.description = option.description != nullptr ? option.description : "";
  info.hasDriverFile = option.driverFile != nullptr;
  if (info.hasDriverFile) {
    info.driverFile = option.driverFile;
    info.driverFileRefused = RefusalOf(info.driverFile);
  }
  for (unsigned i = 0; i < option.idCount; ++i) {
    HardwareId id{option.ids[i], FoldName(option.ids[i]), option.services[i]};
    // An id written twice in one option keeps its first spelling, as the
    // tool takes it.
    bool seen = std::any_of(info.ids.begin(), info.ids.end(), [&](const HardwareId& h) { return h.match == id.match; });
    if (!seen) info.ids.push_back(id);
  }
  const char* service = OptionService(option);
  info.service = service != nullptr ? service : "";
  for (unsigned i = 0; i < option.fileCount; ++i) {
    const DriverFileLine& line = option.files[i];
    FileLine file;
    file.kind = static_cast<FileLineKind>(line.kind);
    file.disk = line.diskTag;
    file.name = line.fileName;
    file.hasDirectory = line.diskDirectory != nullptr;
    if (file.hasDirectory) file.directory = PathBelow(line.diskDirectory);
    file.refused = RefusalOf(file.name);
    info.files.push_back(file);
  }
  return info;
}

unsigned MachineOfFolder(const std::string& path) {
  std::vector<std::string> parts = Segments(path);
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    std::string name = FoldName(*part);
    if (name == "ia64") return kMachineIa64;
    if (name == "amd64" || name == "x64" || (name.size() >= 3 && name.compare(name.size() - 3, 3, "a64") == 0)) {
      return kMachineX64;
    }
    if (name == "i386" || name == "x86") return kMachineX86;
  }
  return 0;
}

std::set<unsigned> VersionsNamed(const std::string& description, const std::string& directory) {
  std::set<unsigned> named;
  std::string texts[] = {FoldName(directory), FoldName(description)};
  for (const VersionSpelling& spelling : VersionSpellings()) {
    for (const std::string& text : texts) {
      if (std::regex_search(text, spelling.pattern)) named.insert(spelling.version);
    }
  }
  return named;
}

unsigned SetupVersion(const SetupIdentity& identity) {
  return identity.majorVersion == 5 && identity.minorVersion <= 2 ? 50 + identity.minorVersion : 0;
}

unsigned AnswerOfVersion(unsigned version) {
  if (version == 0) return 0;
  return version == kW2000 ? static_cast<unsigned>(WindowsTarget::k2000) : static_cast<unsigned>(WindowsTarget::kXp);
}

std::vector<VersionFit> VersionFits(const std::vector<std::set<unsigned>>& named, const SetupIdentity* identity) {
  unsigned version = identity != nullptr ? SetupVersion(*identity) : 0;
  std::vector<unsigned> fitting = FittingVersions(version, identity != nullptr ? identity->machine : 0);
  auto fits = [&](const std::set<unsigned>& set) {
    return std::any_of(fitting.begin(), fitting.end(), [&](unsigned v) { return set.count(v) > 0; });
  };
  bool has = std::any_of(named.begin(), named.end(), fits);
  std::set<unsigned> offered;
  for (const auto& set : named) {
    for (unsigned v : set) {
      if (Nt5(v)) offered.insert(v);
    }
  }
  // The nearest of the versions offered, the later of two as near.
  auto distance = [&](unsigned v) {
    int d = std::abs(static_cast<int>(v) - static_cast<int>(version)) * 2;
    return v > version ? d - 1 : d;
  };
  unsigned nearest = 0;
  if (version != 0 && !has) {
    for (unsigned v : offered) {
      if (nearest == 0 || distance(v) < distance(nearest)) nearest = v;
    }
  }
  std::vector<VersionFit> out;
  for (const auto& set : named) {
    if (set.empty()) {
      out.push_back(VersionFit::kNone);
    } else if (!std::any_of(set.begin(), set.end(), Nt5)) {
      out.push_back(set.count(kNt4) > 0 && set.size() == 1 ? VersionFit::kNt4 : VersionFit::kLater);
    } else if (version == 0) {
      out.push_back(VersionFit::kNone);
    } else if (fits(set)) {
      out.push_back(VersionFit::kSame);
    } else {
      out.push_back(set.count(nearest) > 0 ? VersionFit::kNearest : VersionFit::kOther);
    }
  }
  return out;
}

Skipped ToolSkips(const OptionInfo& option) {
  if (!option.hasDriverFile) return Skipped::kNoDriverFile;
  return option.ids.empty() ? Skipped::kNoIds : Skipped::kNone;
}

RefusedName RefusedFile(const OptionInfo& option, std::string* name) {
  if (option.hasDriverFile && option.driverFileRefused != RefusedName::kNone) {
    *name = option.driverFile;
    return option.driverFileRefused;
  }
  for (const FileLine& file : option.files) {
    if (file.refused != RefusedName::kNone) {
      *name = file.name;
      return file.refused;
    }
  }
  name->clear();
  return RefusedName::kNone;
}

int ReadMachine(const std::string& path, size_t size) {
  if (size == 0) return -1;
  if (size > kDriverFileCapacity) return -3;
  ImageBuffers& buffers = Buffers();
  size_t read = 0;
  if (ReadFileBytes(path.c_str(), buffers.bytes.data(), buffers.bytes.size(), &read) != kFileRead) return -3;
  PeImage image;
  switch (ReadDriverImage(buffers.bytes.data(), read, buffers.unpacked.data(), buffers.unpacked.size(), &image)) {
    case kDriverImage:
    case kDriverCut:  // the machine is known; the check says it is cut
      return static_cast<int>(image.machine);
    case kDriverNotImage:
      return 0;
    case kDriverEmpty:
      return -1;
    case kDriverOtherPacking:
      return -2;
    case kDriverTooBig:
      return -3;
    case kDriverDamagedCabinet:
    case kDriverUnknownPacking:
    case kDriverContinuedCabinet:
      return -4;
  }
  return 0;
}

// What a driver file is built for: read from its PE header; guessed from
// its disk's folder name where the file was read and holds no machine
// (no PE image, packed as setup's own files are, damaged); absent where the
// file is not there, with the folder's guess as its machine for the
// default ticks; else unknown.
BuiltFor MachineOf(const FoundFile& found, bool haveRead, int read) {
  BuiltFor built;
  if (haveRead) {
    built.problem = read == -1 ? FileProblem::kEmpty : read == 0 ? FileProblem::kNotDriver
                    : read < 0 ? FileProblem::kNotChecked : FileProblem::kNone;
  }
  if (haveRead && read > 0) {
    built.machine = static_cast<unsigned>(read);
    built.how = MachineHow::kRead;
    return built;
  }
  unsigned guess = found.hasDirectory && !found.directory.empty() ? MachineOfFolder(found.directory) : 0;
  built.machine = guess;
  built.how = !found.found ? MachineHow::kAbsent : guess != 0 ? MachineHow::kGuessed : MachineHow::kUnknown;
  return built;
}

// A file a line names: in its disk's folder, else beside txtsetup.oem. A
// name that is no plain file name is never looked for.
FoundFile FindNamed(const std::string& driverFolder, bool hasDirectory, const std::string& directory,
                    const std::string& name) {
  FoundFile found;
  found.hasDirectory = hasDirectory;
  found.directory = directory;
  if (!PlainName(name)) return found;
  std::string root = FolderOf(driverFolder);
  if (found.hasDirectory && FileBelow(root, found.directory, name, &found)) return found;
  if (FileBelow(root, "", name, &found)) found.beside = found.hasDirectory && !found.directory.empty();
  return found;
}

FoundFile FindOptionSource(const std::string& driverFolder, const OptionInfo& option) {
  if (!option.hasDriverFile) return FoundFile{};
  for (const FileLine& line : option.files) {
    if (line.kind == FileLineKind::kDriver && line.name == option.driverFile) {
      return FindNamed(driverFolder, line.hasDirectory, line.directory, option.driverFile);
    }
  }
  return FindNamed(driverFolder, false, "", option.driverFile);
}

namespace {

// An INF bigger than this is not read (vendors' storage INFs are some
// 10 to 200 KB).
const size_t kMaxInfBytes = size_t{1} << 20;

// The INF's text, plain or from its cabinet, as single bytes; false where
// it cannot be read.
bool ReadInf(const std::string& path, std::string* text) {
  size_t size = 0;
  if (!RegularFileSize(path, &size) || size > kMaxInfBytes) return false;
  std::vector<unsigned char> raw(size + 1);
  if (ReadFileBytes(path.c_str(), reinterpret_cast<char*>(raw.data()), size, &size) != kFileRead) return false;
  if (IsCabinet(raw.data(), size)) {
    std::vector<unsigned char> unpacked(kMaxInfBytes);
    size_t unpackedSize = 0;
    if (UnpackFirstCabinetFile(raw.data(), size, unpacked.data(), unpacked.size(), &unpackedSize) !=
        kCabinetUnpacked) {
      return false;
    }
    raw.swap(unpacked);
    size = unpackedSize;
  }
  text->resize(size);
  text->resize(InfText(raw.data(), size, &(*text)[0], size));
  return true;
}

void AddCopied(void* context, const char* name, size_t length) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(name, length);
}

}  // namespace

// A name setup's files can carry in a row and a dosnet.inf line: a plain
// file name of printable ASCII without blanks or the files' own syntax.
bool RowName(const std::string& name) {
  return PlainName(name) && std::all_of(name.begin(), name.end(), [](char c) {
    return c > 0x20 && c < 0x7F && std::string(",;=\"[]%").find(c) == std::string::npos;
  });
}

void SurveySupport(const std::string& driverFolder, unsigned machine, OptionRow* row) {
  const OptionInfo& option = row->option;
  row->support.clear();
  row->infFit = InfFit::kNoInf;
  row->inf.clear();
  for (const FileLine& line : option.files) {
    if (line.kind == FileLineKind::kDriver) continue;
    SupportKind kind = line.kind == FileLineKind::kInf       ? SupportKind::kInf
                       : line.kind == FileLineKind::kCatalog ? SupportKind::kCatalog
                                                             : SupportKind::kDll;
    // One INF named by two options' lines, or twice by one: once.
    bool listed = std::any_of(row->support.begin(), row->support.end(),
                              [&](const SupportFile& f) { return FoldName(f.name) == FoldName(line.name); });
    if (listed) continue;
    SupportFile file{kind, line.name, FindNamed(driverFolder, line.hasDirectory, line.directory, line.name),
                     !RowName(line.name), ""};
    row->support.push_back(file);
  }
  std::string root = FolderOf(driverFolder);
  std::vector<SupportFile> copied;
  for (const SupportFile& file : row->support) {
    if (file.kind != SupportKind::kInf || row->infFit == InfFit::kServes) continue;
    if (!file.found.found) {
      if (row->infFit == InfFit::kNoInf) row->infFit = InfFit::kNotFound;
      continue;
    }
    std::string text;
    if (!ReadInf(MapFileName(Join(root, file.found.path).c_str()), &text)) {
      if (row->infFit != InfFit::kNoIds) row->infFit = InfFit::kNotRead;
      continue;
    }
    row->infFit = InfFit::kNoIds;
    char base[kInfNameCapacity];
    bool listed = std::any_of(option.ids.begin(), option.ids.end(), [&](const HardwareId& id) {
      return InfFindModel(text.data(), text.size(), id.id.data(), id.id.size(), base);
    });
    if (!listed) continue;
    row->infFit = InfFit::kServes;
    row->inf = file.found.name;
    char install[kInfNameCapacity];
    InfInstallSection(text.data(), text.size(), base, machine, install);
    std::vector<std::string> names;
    InfCopiedFiles(text.data(), text.size(), install, AddCopied, &names);
    for (const std::string& name : names) {
      // The driver file is the tool's; a name listed already comes once.
      auto same = [&](const std::string& other) { return FoldName(other) == FoldName(name); };
      if (same(option.driverFile) ||
          std::any_of(row->support.begin(), row->support.end(), [&](const SupportFile& f) { return same(f.name); }) ||
          std::any_of(copied.begin(), copied.end(), [&](const SupportFile& f) { return same(f.name); })) {
        continue;
      }
      SupportFile extra{SupportKind::kCopied, name, FoundFile{}, !RowName(name), file.found.name};
      // Where the INF lies, as setupapi takes files from beside it.
      if (!extra.unsafe) {
        FileBelow(root, file.found.folder, name, &extra.found);
      }
      copied.push_back(extra);
    }
  }
  row->support.insert(row->support.end(), copied.begin(), copied.end());
}

std::string SourceDisksFilesValue(SupportKind kind, const std::string& setupFileBytes) {
  if (kind == SupportKind::kCopied) return "";
  const char* wanted = kind == SupportKind::kDll ? "system32" : "inf";
  std::string id = kind == SupportKind::kDll ? "2" : "20";  // as every 2000, XP and 2003 source has them
  size_t size = SetupReadSize(setupFileBytes.data(), setupFileBytes.size());
  bool inSection = false;
  for (size_t at = 0; at < size;) {
    ProfileLine line;
    at = ReadProfileLine(setupFileBytes.data(), size, at, &line);
    const char* bytes = setupFileBytes.data();
    if (line.kind == kProfileHeader) {
      inSection = FoldName(std::string(bytes + line.nameOffset, line.nameLength)) == "winntdirectories";
      continue;
    }
    if (!inSection || line.kind != kProfileEntry) continue;
    std::string value(bytes + line.valueOffset, line.valueLength);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (FoldName(value) == wanted) {
      id.assign(bytes + line.nameOffset, line.nameLength);
      break;
    }
  }
  return "1,,,,,,," + id + ",0,0";
}

std::vector<OptionRow> OptionRows(std::vector<OptionInfo> options, const std::vector<FoundFile>& found,
                                  const std::vector<int>& machines, const SetupIdentity* setup,
                                  const std::map<unsigned, bool>* ticks) {
  unsigned setupMachine = setup != nullptr ? setup->machine : 0;
  std::vector<OptionRow> rows(options.size());
  std::vector<std::set<unsigned>> named;
  for (size_t i = 0; i < options.size(); ++i) {
    OptionRow& row = rows[i];
    row.option = std::move(options[i]);
    row.found = found[i];
    row.built = MachineOf(row.found, row.found.found, machines[i]);
    // A file beside txtsetup.oem stands in for one not in the option's own
    // folder; where that folder names another machine than the setup
    // source's, the file is another option's build (virtio's x86
    // viostor.sys found for its amd64 option too).
    bool folderFits = !row.found.beside || FitsSetup(MachineOfFolder(row.found.directory), setupMachine);
    row.built.fits = FitsSetup(row.built.machine, setupMachine);
    row.fits = row.built.fits && folderFits;
    row.versions = VersionsNamed(row.option.description, row.found.directory);
    row.skipped = ToolSkips(row.option);
    row.refused = RefusedFile(row.option, &row.refusedName);
    named.push_back(row.versions);
  }
  std::vector<VersionFit> fits = VersionFits(named, setup);
  for (size_t i = 0; i < rows.size(); ++i) {
    OptionRow& row = rows[i];
    row.versionFit = fits[i];
    row.tickable = row.skipped == Skipped::kNone && row.refused == RefusedName::kNone && row.versionFit != VersionFit::kNt4;
    bool byDefault = row.fits && row.versionFit != VersionFit::kOther && row.versionFit != VersionFit::kLater;
    auto user = ticks != nullptr ? ticks->find(row.option.index) : std::map<unsigned, bool>::const_iterator();
    bool userSaid = ticks != nullptr && user != ticks->end();
    row.ticked = row.tickable && (userSaid ? user->second : byDefault);
    if (row.refused != RefusedName::kNone) {
      row.reason = TickReason::kRefused;
    } else if (row.skipped != Skipped::kNone) {
      row.reason = TickReason::kSkipped;
    } else if (row.versionFit == VersionFit::kNt4) {
      row.reason = TickReason::kNt4;
    } else if (userSaid) {
      row.reason = row.ticked ? TickReason::kUserTicked : TickReason::kUserUnticked;
    } else if (!row.fits) {
      row.reason = TickReason::kOtherMachine;
    } else if (row.versionFit == VersionFit::kLater) {
      row.reason = TickReason::kLaterVersion;
    } else if (row.versionFit == VersionFit::kOther) {
      row.reason = TickReason::kOtherVersion;
    } else if (row.versionFit == VersionFit::kNearest) {
      row.reason = TickReason::kNearest;
    } else if (row.versionFit == VersionFit::kSame) {
      row.reason = TickReason::kSameVersion;
    } else {
      row.reason = TickReason::kFits;
    }
  }
  return rows;
}

std::vector<unsigned> KeptOptions(const std::vector<OptionRow>& rows, bool* all) {
  std::vector<unsigned> kept;
  for (const OptionRow& row : rows) {
    if (row.ticked && row.tickable) kept.push_back(row.option.index);
  }
  *all = kept.size() == rows.size();
  if (*all) kept.clear();
  return kept;
}

SetupHas SetupFolderHas(const std::string& setupFolder, const std::string& file, std::string* name) {
  if (name) name->clear();
  if (!PlainName(file)) return SetupHas::kAbsent;
  std::string root = FolderOf(setupFolder);
  size_t size;
  std::string plain = MapFileName(Join(root, file).c_str());
  if (FileThere(plain, &size)) {
    if (name) *name = LastPart(plain);
    return SetupHas::kPresent;
  }
  std::string packed = MapFileName(Join(root, CompressedFileName(file)).c_str());
  if (FileThere(packed, &size)) {
    if (name) *name = LastPart(packed);
    return SetupHas::kCompressed;
  }
  return RegularFileSize(plain, &size) ? SetupHas::kEmpty : SetupHas::kAbsent;
}

Survey SurveyIntegration(const SurveyInput& input) {
  Survey survey;
  survey.setupFolder = input.setupFolder;
  std::string setup = MapFileName(Join(FolderOf(input.setupFolder), "txtsetup.sif").c_str());
  survey.setupFile = LastPart(setup);
  // ReadFileBytes opens only a regular file of the folder (a FIFO is never
  // opened), and says what else the name is.
  std::vector<char> bytes(kSetupFileCapacity);
  size_t size = 0;
  switch (ReadFileBytes(setup.c_str(), bytes.data(), bytes.size(), &size)) {
    case kFileRead:
      break;
    case kFileTooBig:
      survey.problem = SurveyProblem::kSetupTooBig;
      return survey;
    case kFileMissing:
      survey.problem = SurveyProblem::kNoSetupFile;
      return survey;
    case kFileNotRegular:
    case kFileOutside:
      survey.problem = SurveyProblem::kSetupNotRegular;
      return survey;
    case kFileUnreadable:
      survey.problem = SurveyProblem::kSetupUnreadable;
      return survey;
  }
  ReadSetupIdentity(bytes.data(), size, input.setupFolderName.c_str(), &survey.identity);
  survey.version = SetupVersion(survey.identity);
  survey.windowsGiven = input.windows != 0;
  survey.windows = survey.windowsGiven ? input.windows : AnswerOfVersion(survey.version);
  for (unsigned d = 0; d < input.driverFolders.size(); ++d) {
    auto ticks = input.ticks.find(d);
    survey.drivers.emplace_back();
    SurveyDriver(input.driverFolders[d], &survey.identity, ticks != input.ticks.end() ? &ticks->second : nullptr,
                 &survey.drivers.back());
  }
  FindConflicts(&survey);
  PlanDrivers(input, &survey);
  std::string setupBytes(bytes.data(), size);
  // Windows' own files: those its backup lists, where the folder has one.
  std::string backup = MapFileName(Join(FolderOf(input.setupFolder), "txtsetup.sif.orig").c_str());
  size_t backupSize = 0;
  std::vector<char> backupBytes(kSetupFileCapacity);
  bool haveBackup = ReadFileBytes(backup.c_str(), backupBytes.data(), backupBytes.size(), &backupSize) == kFileRead &&
                    backupSize > 0;
  if (haveBackup) FindSetupConflicts(setupBytes, std::string(backupBytes.data(), backupSize), &survey);
  PlanSupport(survey, setupBytes, haveBackup ? std::string(backupBytes.data(), backupSize) : setupBytes,
              &survey.support);
  return survey;
}

IntegrationPlan MakePlan(const Survey& survey) {
  IntegrationPlan plan;
  plan.setupFolder = survey.setupFolder;
  plan.setupFile = survey.setupFile;
  plan.windows = survey.windows == static_cast<unsigned>(WindowsTarget::k2000) ? WindowsTarget::k2000 : WindowsTarget::kXp;
  for (unsigned d = 0; d < survey.drivers.size(); ++d) {
    const DriverSurvey& driver = survey.drivers[d];
    if (driver.problem != DriverProblem::kNone) continue;
    DriverRun run;
    run.driverFolder = driver.folder;
    run.oemFile = driver.oemFile;
    run.keptOptions = KeptOptions(driver.rows, &run.allOptions);
    // A driver with nothing ticked is not run.
    if (driver.rows.empty() || (!run.allOptions && run.keptOptions.empty())) continue;
    for (const PlannedDriver& p : survey.planned) {
      if (p.brought && p.driver == d) run.files.push_back({p.source.path, p.source.name, false, "", ""});
    }
    for (const PlannedSupport& p : survey.support) {
      if (p.brought && p.driver == d) run.files.push_back({p.source.path, p.name, true, p.value, p.listed});
    }
    plan.runs.push_back(run);
  }
  return plan;
}

}  // namespace o2s::engine
