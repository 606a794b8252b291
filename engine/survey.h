// What an integration would do, decided before anything is written: what
// the setup source is, each driver's options (where each driver file is,
// what it is built for, which Windows versions it names, whether it is
// ticked and why), what the ticked options would write over each other,
// and which files go into the setup folder. The page and oem2sif-integrate
// show it; MakePlan turns it into the plan ApplyPlan carries out.
// Files are reached only through the platform layer, and never outside the
// setup folder and the driver folders given.
#ifndef OEM2SIF_ENGINE_SURVEY_H
#define OEM2SIF_ENGINE_SURVEY_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "check/setup_identity.h"
#include "engine/plan.h"
#include "oem/driver_description.h"

namespace o2s::engine {

// Windows versions as major * 10 + minor; every version after Server 2003
// counts as kVista.
const unsigned kNt4 = 40, kW2000 = 50, kXp = 51, kW2003 = 52, kVista = 60;

// What the survey is asked.
struct SurveyInput {
  std::string setupFolder;      // the folder that holds txtsetup.sif
  // Its own name ("xp", "I386 - Copy"), which tells what a setup source is
  // where txtsetup.sif does not; "" where files were picked one by one.
  std::string setupFolderName;
  // False where the setup folder's other files are not known (picked one
  // by one): no driver file's state there can be told.
  bool setupListingKnown = true;
  std::vector<std::string> driverFolders;  // each holds a txtsetup.oem, in run order
  // The user's ticks: driver index -> option index -> ticked; they override
  // the defaults.
  std::map<unsigned, std::map<unsigned, bool>> ticks;
  // The answer to the tool's menu; absent (0) = from the setup's version.
  unsigned windows = 0;  // 0, or WindowsTarget's 1 / 2
};

// An option as the tool reads it, copied out of the reader's buffers.
struct HardwareId {
  std::string id;       // as written
  std::string match;    // lower case: ids compare so
  std::string service;  // lower case
};
enum class FileLineKind { kDriver, kInf, kCatalog, kDll };
// A name a driver may not bring into the setup folder.
enum class RefusedName { kNone, kNotPlain, kSetupOwn };
struct FileLine {
  FileLineKind kind;
  std::string disk;
  std::string name;
  bool hasDirectory = false;
  std::string directory;  // its disk's folder below the driver's ("i386/Win2003", "" the folder itself)
  RefusedName refused = RefusedName::kNone;
};
struct OptionInfo {
  unsigned index = 0;
  std::string key;
  std::string description;
  bool hasDriverFile = false;
  std::string driverFile;
  RefusedName driverFileRefused = RefusedName::kNone;
  std::vector<HardwareId> ids;
  std::string service;  // OptionService: its first id's; "" without ids
  std::vector<FileLine> files;
};

// An option's service: the service of its first hardware id (the tool maps
// every id of an option to it), or null where it has none. One rule, for
// the survey and the page.
const char* OptionService(const OptionDescription& option);

// The option as ReadOptionDescription left it, with each disk directory as
// a path below the driver's folder.
OptionInfo OptionInfoOf(const OptionDescription& option);

// Where an option's driver file is found.
struct FoundFile {
  bool found = false;
  std::string folder;  // below the driver's folder, as it is on disk ("I386/win2003", "" the folder itself)
  std::string name;    // its name there, plain or compressed
  std::string path;    // folder + name below the driver's folder
  bool hasDirectory = false;
  std::string directory;  // what its disk's entry names ("" the folder of txtsetup.oem)
  bool beside = false;    // found beside txtsetup.oem, not in `directory`
  // The directory leads outside the driver's folder (.., a drive, a link
  // out): not looked into.
  bool directoryRefused = false;
  size_t size = 0;
};

enum class MachineHow { kRead, kGuessed, kAbsent, kUnknown };
enum class FileProblem { kNone, kEmpty, kNotDriver, kNotChecked };
struct BuiltFor {
  unsigned machine = 0;  // check/pe_image.h's kMachine*, 0 unknown
  MachineHow how = MachineHow::kUnknown;
  FileProblem problem = FileProblem::kNone;
  bool fits = true;  // the machine fits the setup source's (either unknown fits)
};

enum class VersionFit { kNone, kSame, kNearest, kOther, kNt4, kLater };
enum class Skipped { kNone, kNoDriverFile, kNoIds };

// Why an option is ticked or not, for the texts.
enum class TickReason {
  kFits,          // ticked: fits the setup source (or nothing tells otherwise)
  kSameVersion,   // ticked: names the setup's Windows version
  kNearest,       // ticked: the driver has no option for the setup's version; this is the nearest
  kUserTicked,    // ticked by the user
  kUserUnticked,  // unticked by the user
  kOtherMachine,  // not ticked: built for another machine than the setup source's
  kOtherVersion,  // not ticked: names another NT 5 version
  kLaterVersion,  // not ticked: only versions after Server 2003
  kNt4,           // cannot be ticked: NT 4.0 alone
  kSkipped,       // cannot be ticked: the tool skips it (Skipped)
  kRefused,       // cannot be ticked: it names a file the setup folder must not take
};

// GUI-mode setup installs each device from an INF through Plug and Play:
// what an option brings for that. The INF, catalog and dll files its
// [Files.scsi.KEY] section names, and the files the install section of
// its INF (for the option's ids) copies: a co-installer, a second driver.
enum class SupportKind { kInf, kCatalog, kDll, kCopied };
struct SupportFile {
  SupportKind kind;
  std::string name;   // as txtsetup.oem or the INF names it
  FoundFile found;    // in the driver's folder
  bool unsafe = false;  // no plain file name: never looked for
  std::string inf;    // kCopied: the INF that copies it
};
// How the option's INF serves its device.
enum class InfFit {
  kNoInf,      // the option names no INF: GUI-mode setup finds no driver for its device
  kNotFound,   // it names one that the driver's folder lacks
  kNotRead,    // the INF is there but cannot be read (too big, damaged cabinet)
  kNoIds,      // its models list none of the option's ids
  kServes,     // its models list one of them
};

struct OptionRow {
  OptionInfo option;
  FoundFile found;
  BuiltFor built;
  bool fits = true;  // its machine fits the setup source's
  std::set<unsigned> versions;
  VersionFit versionFit = VersionFit::kNone;
  Skipped skipped = Skipped::kNone;
  // The first line it names that the setup folder must not take.
  RefusedName refused = RefusedName::kNone;
  std::string refusedName;
  bool tickable = false;
  bool ticked = false;
  TickReason reason = TickReason::kFits;
  std::vector<SupportFile> support;
  InfFit infFit = InfFit::kNoInf;
  std::string inf;  // the INF that serves it (kServes), as found
};

enum class DriverProblem {
  kNone,
  kNoOemFile,      // no txtsetup.oem in the folder (or the folder is none)
  kNotRegular,     // txtsetup.oem is a FIFO, device, folder or a link outside
  kTooBig,         // over kMaxOemFileSize
  kUnreadable,
  kNoOptions,      // its [scsi] section lists none
};
const size_t kMaxOemFileSize = 1u << 20;

struct DriverSurvey {
  std::string folder;   // as given
  std::string oemFile;  // txtsetup.oem's name there
  DriverProblem problem = DriverProblem::kNone;
  std::vector<OptionRow> rows;
};

// Two options of one driver that would write one service, or one driver
// file name from two folders: the later's stays.
struct OptionConflict {
  unsigned driver;
  std::string what;  // the service, or the later's driver file
  unsigned earlier, later;  // option indices
};
// Two drivers that would write one service, or map one id to two services.
struct Remapped {
  std::string id;    // as the later driver spells it
  std::string from;  // the earlier driver's service
  std::string to;    // the later's
};
struct DriverConflict {
  unsigned earlier, later;  // driver indices
  std::vector<std::string> services;  // written by both, in the later's order
  std::vector<Remapped> ids;          // mapped to another service by the later
};
// What an earlier integration wrote into txtsetup.sif (what it holds beyond
// its backup, txtsetup.sif.orig) that a driver of this set writes otherwise:
// a service with another driver file, an id mapped to another service. The
// driver's entries replace them. Without a backup nothing is told: no run
// has changed the file. The same entries written again are no conflict.
struct SetupConflict {
  unsigned driver;
  std::vector<std::string> services;
  std::vector<Remapped> ids;  // from: the service the file maps it to now
};

// Where the setup folder has a driver file a run names; an empty file is
// what a write cut short leaves, and counts as absent.
enum class SetupHas { kPresent, kCompressed, kEmpty, kAbsent, kUnknown };

// A service the runs would write, with the driver file it names.
struct PlannedDriver {
  std::string service;
  std::string file;
  unsigned driver;       // the run whose entries stay
  unsigned option;       // its option index there
  SetupHas inSetup = SetupHas::kUnknown;
  std::string setupName;  // what the setup folder holds it by (present, compressed), "" none
  FoundFile source;      // in the driver's folder
  bool brought = false;  // its file goes into the setup folder
  // Setup would stop with "file not found" unless the user brings it.
  bool missing = false;
  // Not in the driver's folder, and the setup folder's files unknown: it
  // may be missing.
  bool unsure = false;
};

// A file for GUI-mode setup that a run brings into the setup folder, and
// how text mode copies it ([SourceDisksFiles], SourceDisksFilesValue).
struct PlannedSupport {
  std::string name;      // as it goes into the setup folder (found.name)
  std::string listed;    // the plain name, as txtsetup.oem or the INF names it
  SupportKind kind;
  unsigned driver, option;
  FoundFile source;
  std::string value;     // its [SourceDisksFiles] value, "" none (kCopied)
  // Not brought: txtsetup.sif lists a file of that name already (one of
  // Windows' own), or a later run brings one of that name.
  bool listedBySetup = false;
  bool brought = false;
};

enum class SurveyProblem {
  kNone,
  kNoSetupFile,      // no txtsetup.sif in the setup folder (or no such folder)
  kSetupNotRegular,  // txtsetup.sif is no regular file within the folder
  kSetupTooBig,
  kSetupUnreadable,
};

struct Survey {
  SurveyProblem problem = SurveyProblem::kNone;
  std::string setupFolder;
  std::string setupFile;  // txtsetup.sif's name there
  SetupIdentity identity{};
  unsigned version = 0;   // kW2000 / kXp / kW2003, 0 unknown
  unsigned windows = 0;   // the answer: 1 / 2, 0 where none can be told
  bool windowsGiven = false;
  std::vector<DriverSurvey> drivers;
  std::vector<OptionConflict> optionConflicts;
  std::vector<DriverConflict> driverConflicts;
  std::vector<SetupConflict> setupConflicts;
  std::vector<PlannedDriver> planned;  // by service, in the order first written
  std::vector<PlannedSupport> support;  // in run order
};

Survey SurveyIntegration(const SurveyInput& input);

// The plan ApplyPlan carries out: a run per driver with a ticked option,
// each with the files it brings (of two of one name, the later run's).
IntegrationPlan MakePlan(const Survey& survey);

// The rules, each decided once; exposed for the tests.
unsigned MachineOfFolder(const std::string& path);
std::set<unsigned> VersionsNamed(const std::string& description, const std::string& directory);
// The setup's version as setup reads it (5.0, 5.1, 5.2), or 0; its answer
// in the tool's menu (1 Windows 2000, 2 XP; Server 2003 takes XP's), or 0.
unsigned SetupVersion(const SetupIdentity& identity);
unsigned AnswerOfVersion(unsigned version);
// How each option's versions fit the setup source (`identity` null while
// it is not known: only nt4 and later count then).
std::vector<VersionFit> VersionFits(const std::vector<std::set<unsigned>>& named,
                                    const SetupIdentity* identity);
Skipped ToolSkips(const OptionInfo& option);
RefusedName RefusedFile(const OptionInfo& option, std::string* name);
std::string CompressedFileName(const std::string& name);
std::string FoldName(const std::string& name);
// What a driver file's bytes are built for, as the PE reader tells: a
// machine (> 0), 0 no image, -1 empty, < -1 not checked.
int ReadMachine(const std::string& path, size_t size);
BuiltFor MachineOf(const FoundFile& found, bool haveRead, int read);
// Rows of one driver: `setup` null while unknown; `ticks` what the user
// changed.
std::vector<OptionRow> OptionRows(std::vector<OptionInfo> options,
                                  const std::vector<FoundFile>& found,
                                  const std::vector<int>& machines,
                                  const SetupIdentity* setup,
                                  const std::map<unsigned, bool>* ticks);
// The indices a run keeps: empty with *all where every option is ticked.
std::vector<unsigned> KeptOptions(const std::vector<OptionRow>& rows, bool* all);
// Where an option's driver file is in `driverFolder` (platform layer).
FoundFile FindOptionSource(const std::string& driverFolder, const OptionInfo& option);
// What an option brings for GUI-mode setup, found in `driverFolder`, and
// how its INF serves it (`machine`: the setup source's, 0 unknown).
void SurveySupport(const std::string& driverFolder, unsigned machine, OptionRow* row);
// The [SourceDisksFiles] value text mode copies a support file by: INF and
// catalog to the inf folder, a dll to system32, by the ids the setup's own
// [WinntDirectories] gives them ("" for a copied file: GUI-mode setup takes
// it from the setup source as the INF says).
std::string SourceDisksFilesValue(SupportKind kind, const std::string& setupFileBytes);
// Where `setupFolder` has `file`: present, compressed, empty, absent;
// `name` (if given) the name it is there by where present or compressed.
SetupHas SetupFolderHas(const std::string& setupFolder, const std::string& file, std::string* name = nullptr);

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_SURVEY_H
