// oem2sif-integrate: writes the drivers of one or more driver folders into
// a setup folder, as the page does: it prints what it decides (the setup
// source, each option ticked or not and why, where each driver file comes
// from, the conflicts, the runs), carries the plan out, then checks the
// setup folder.
//
//   oem2sif-integrate SETUP_FOLDER DRIVER_FOLDER... [--windows 2000|xp]
//                     [--option DRIVER:KEY]... [--dry-run] [--json]
//   oem2sif-integrate --iso IN.iso --output OUT.iso DRIVER_FOLDER... [...]
//
// With --iso the setup folder is the image's folder that holds TXTSETUP.SIF
// (iso/iso_image.h decides which of several): engine/image_integration.h
// takes out the files the engine reads into a scratch folder, carries the
// plan out into another (ApplyPlanInto), plans the image's update from
// what lands there and checks the scratch folder with the written files
// over the taken ones; this command prints it and writes the copy of the
// image (iso/iso_update.h).
//
// DRIVER is a driver folder as given, or its number (1 the first); KEY an
// option key of its [scsi] section. Any --option for a driver ticks exactly
// the options named for it. --json prints the survey and the plan as JSON
// (engine/survey_json.h) instead, in UTF-8 whatever the terminal, and
// writes nothing.
//
// Exit status: 0 written (or a dry run) and the check found no problem;
// 1 written, and the check found problems; 2 a usage error, or a setup or
// driver folder that cannot be used (nothing written); 3 refused or failed:
// nothing written, or nothing more once the failure came.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "check/check.h"
#include "check/finding_text.h"
#include "check/pe_image.h"
#include "engine/apply.h"
#include "engine/image_integration.h"
#include "engine/messages.h"
#include "engine/survey.h"
#include "engine/survey_json.h"
#include "iso/iso_update.h"
#include "oem2sif_version.h"
#include "platform/platform.h"

// The release the executable carries. Nothing reads it; `used` keeps it in
// optimised builds.
extern "C" __attribute__((used)) const char oem2sif_version[] = "version." OEM2SIF_VERSION;

namespace {

using o2s::engine::MessageId;
using o2s::engine::Survey;

o2s::Language gLanguage = o2s::Language::kEnglish;

void Say(MessageId id, ...) {
  va_list args;
  va_start(args, id);
  o2s::PrintConsoleV(o2s::engine::MessageText(gLanguage, id), args);
  va_end(args);
}

const char* Text(MessageId id) { return o2s::engine::MessageText(gLanguage, id); }

[[noreturn]] void UsageError(MessageId id, const char* a = "", const char* b = "", const char* c = "") {
  Say(id, a, b, c);
  o2s::EndProcess(2);
}

struct Arguments {
  std::string setupFolder;
  std::vector<std::string> driverFolders;
  unsigned windows = 0;
  std::vector<std::string> options;  // DRIVER:KEY as given
  bool dryRun = false;
  bool json = false;  // implies dryRun
  std::string iso;     // --iso: the image, whose setup folder is used
  std::string output;  // --output: the new image
};

Arguments ParseArguments(int argc, char** argv) {
  Arguments arguments;
  std::vector<std::string> folders;
  bool plain = false;  // after "--": folders only
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (plain || arg.empty() || arg[0] != '-') {
      folders.push_back(arg);
    } else if (arg == "--") {
      plain = true;
    } else if (arg == "--help" || arg == "-h") {
      Say(MessageId::kUsage);
      o2s::EndProcess(0);
    } else if (arg == "--dry-run") {
      arguments.dryRun = true;
    } else if (arg == "--json") {
      arguments.json = arguments.dryRun = true;
    } else if (arg == "--windows" || arg == "--option" || arg == "--iso" || arg == "--output") {
      if (i + 1 >= argc) UsageError(MessageId::kUsageMissingValue, arg.c_str());
      std::string value = argv[++i];
      if (arg == "--iso" || arg == "--output") {
        (arg == "--iso" ? arguments.iso : arguments.output) = value;
        continue;
      }
      if (arg == "--option") {
        arguments.options.push_back(value);
        continue;
      }
      std::string lower = o2s::engine::FoldName(value);
      if (lower == "2000") {
        arguments.windows = static_cast<unsigned>(o2s::engine::WindowsTarget::k2000);
      } else if (lower == "xp") {
        arguments.windows = static_cast<unsigned>(o2s::engine::WindowsTarget::kXp);
      } else {
        UsageError(MessageId::kUsageWindowsValue, value.c_str());
      }
    } else {
      UsageError(MessageId::kUsageUnknownArgument, arg.c_str());
    }
  }
  if (!arguments.iso.empty()) {
    if (folders.empty()) UsageError(MessageId::kUsageIsoFolder);
    if (arguments.output.empty() && !arguments.dryRun) UsageError(MessageId::kUsageIsoOutput);
    arguments.driverFolders = folders;
    return arguments;
  }
  if (!arguments.output.empty()) UsageError(MessageId::kUsageUnknownArgument, "--output");
  if (folders.size() < 2) {
    Say(MessageId::kUsageNoDrivers);
    Say(MessageId::kUsage);
    o2s::EndProcess(2);
  }
  arguments.setupFolder = folders[0];
  arguments.driverFolders.assign(folders.begin() + 1, folders.end());
  return arguments;
}

// The driver an --option names: its folder as given, else its number.
unsigned DriverOfOption(const Arguments& arguments, const std::string& option, const std::string& driver) {
  for (unsigned d = 0; d < arguments.driverFolders.size(); ++d) {
    if (arguments.driverFolders[d] == driver) return d;
  }
  char* end = nullptr;
  unsigned long number = driver.empty() || driver[0] < '0' || driver[0] > '9' ? 0 : strtoul(driver.c_str(), &end, 10);
  if (number == 0 || end == nullptr || *end != '\0' || number > arguments.driverFolders.size()) {
    UsageError(MessageId::kUsageNoSuchDriver, option.c_str(), driver.c_str());
  }
  return static_cast<unsigned>(number - 1);
}

// The user's ticks from --option: for each driver named, its named options
// ticked and every other one not.
std::map<unsigned, std::map<unsigned, bool>> TicksOf(const Arguments& arguments, const Survey& survey) {
  std::map<unsigned, std::map<unsigned, bool>> ticks;
  for (const std::string& option : arguments.options) {
    size_t colon = option.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == option.size()) {
      UsageError(MessageId::kUsageOptionForm, option.c_str());
    }
    std::string driver = option.substr(0, colon);
    std::string key = option.substr(colon + 1);
    unsigned d = DriverOfOption(arguments, option, driver);
    const o2s::engine::DriverSurvey& surveyed = survey.drivers[d];
    const o2s::engine::OptionRow* found = nullptr;
    for (const auto& row : surveyed.rows) {
      if (row.option.key == key) found = &row;
    }
    for (const auto& row : surveyed.rows) {
      if (found == nullptr && o2s::engine::FoldName(row.option.key) == o2s::engine::FoldName(key)) found = &row;
    }
    if (found == nullptr) UsageError(MessageId::kUsageNoSuchOption, option.c_str(), surveyed.folder.c_str(), key.c_str());
    std::map<unsigned, bool>& driverTicks = ticks[d];
    if (driverTicks.empty()) {
      for (const auto& row : surveyed.rows) driverTicks[row.option.index] = false;
    }
    driverTicks[found->option.index] = true;
  }
  return ticks;
}

// The survey, without the messages the tool's reader prints while it reads
// each option (a missing driver line, no valid id): they are Japanese
// whatever the user's language, the plan says the same in it, and they
// would break --json's output.
Survey SurveyOf(const o2s::engine::SurveyInput& input) {
  o2s::SetConsoleSink([](void*, const char*, size_t) {}, nullptr);
  Survey survey = o2s::engine::SurveyIntegration(input);
  o2s::SetConsoleSink(nullptr, nullptr);
  return survey;
}

// Stops where the setup folder or a driver folder cannot be used.
void RefuseUnusable(const Survey& survey) {
  const char* setup = survey.setupFolder.c_str();
  switch (survey.problem) {
    case o2s::engine::SurveyProblem::kNone:
      break;
    case o2s::engine::SurveyProblem::kNoSetupFile:
      UsageError(MessageId::kNoSetupFile, setup);
    case o2s::engine::SurveyProblem::kSetupNotRegular:
      UsageError(MessageId::kSetupNotRegular, setup);
    case o2s::engine::SurveyProblem::kSetupTooBig:
      UsageError(MessageId::kSetupTooBig, setup);
    case o2s::engine::SurveyProblem::kSetupUnreadable:
      UsageError(MessageId::kSetupUnreadable, setup);
  }
  bool refused = false;
  for (const auto& driver : survey.drivers) {
    const char* folder = driver.folder.c_str();
    switch (driver.problem) {
      case o2s::engine::DriverProblem::kNone:
      case o2s::engine::DriverProblem::kNoOptions:
        continue;
      case o2s::engine::DriverProblem::kNoOemFile:
        Say(MessageId::kDriverNoOem, folder);
        break;
      case o2s::engine::DriverProblem::kNotRegular:
        Say(MessageId::kDriverNotRegular, folder);
        break;
      case o2s::engine::DriverProblem::kTooBig:
        Say(MessageId::kDriverTooBig, folder);
        break;
      case o2s::engine::DriverProblem::kUnreadable:
        Say(MessageId::kDriverUnreadable, folder);
        break;
    }
    refused = true;
  }
  if (refused) o2s::EndProcess(2);
}

const char* MachineName(unsigned machine, std::string* room) {
  switch (machine) {
    case o2s::kMachineX86:
      return "x86";
    case o2s::kMachineX64:
      return "x64";
    case o2s::kMachineIa64:
      return "IA64";
  }
  *room = o2s::engine::FormatMessage(gLanguage, MessageId::kMachineOther, machine);
  return room->c_str();
}

const char* VersionName(unsigned version) {
  switch (version) {
    case o2s::engine::kNt4:
      return Text(MessageId::kVersion40);
    case o2s::engine::kW2000:
      return Text(MessageId::kVersion50);
    case o2s::engine::kXp:
      return Text(MessageId::kVersion51);
    case o2s::engine::kW2003:
      return Text(MessageId::kVersion52);
  }
  return Text(MessageId::kVersion60);
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += Text(MessageId::kListSeparator);
    out += part;
  }
  return out;
}

std::string VersionNames(const std::set<unsigned>& versions) {
  std::vector<std::string> names;
  for (unsigned v : versions) names.push_back(VersionName(v));
  return Joined(names);
}

void PrintSetup(const Survey& survey) {
  Say(MessageId::kHeadingSetup, survey.setupFolder.c_str(), survey.setupFile.c_str());
  std::string room;
  if (survey.identity.machine != 0) {
    static const MessageId kEvidence[] = {MessageId::kEvidenceSetupData, MessageId::kEvidenceSetupData,
                                          MessageId::kEvidenceFolderName, MessageId::kEvidenceSections};
    Say(MessageId::kSetupMachine, MachineName(survey.identity.machine, &room), Text(kEvidence[survey.identity.evidence & 3]));
  } else {
    Say(MessageId::kSetupMachineUnknown);
  }
  auto answerName = [](unsigned answer) { return VersionName(answer == 1 ? o2s::engine::kW2000 : o2s::engine::kXp); };
  if (survey.version != 0) {
    std::string number = "5." + std::to_string(survey.version - 50);
    std::string answer = std::to_string(o2s::engine::AnswerOfVersion(survey.version));
    Say(survey.version == o2s::engine::kW2003 ? MessageId::kSetupVersion52 : MessageId::kSetupVersion,
        VersionName(survey.version), number.c_str(), answer.c_str(), answerName(o2s::engine::AnswerOfVersion(survey.version)));
  } else {
    Say(MessageId::kSetupVersionUnknown);
  }
  if (survey.windowsGiven) {
    std::string answer = std::to_string(survey.windows);
    Say(MessageId::kWindowsGiven, answer.c_str(), answerName(survey.windows));
  }
}

void PrintFileOf(const o2s::engine::OptionRow& row) {
  using o2s::engine::MachineHow;
  const o2s::engine::FoundFile& found = row.found;
  const char* name = row.option.driverFile.c_str();
  if (!row.option.hasDriverFile || row.option.driverFileRefused == o2s::engine::RefusedName::kNotPlain) return;
  if (found.found) {
    if (found.beside) {
      Say(MessageId::kFileBeside, found.path.c_str(), found.directory.c_str());
    } else {
      Say(MessageId::kFileAt, found.path.c_str());
    }
  } else if (found.hasDirectory && !found.directory.empty() && !found.directoryRefused) {
    Say(MessageId::kFileNotFound, name, found.directory.c_str());
  } else {
    Say(MessageId::kFileNotBeside, name);
  }
  if (found.directoryRefused) Say(MessageId::kDirectoryRefused, found.directory.c_str());
  std::string room;
  switch (row.built.how) {
    case MachineHow::kRead:
      Say(MessageId::kBuiltFor, MachineName(row.built.machine, &room));
      break;
    case MachineHow::kGuessed:
      Say(MessageId::kBuiltGuessed, MachineName(row.built.machine, &room));
      break;
    case MachineHow::kAbsent:
      if (row.built.machine != 0) Say(MessageId::kBuiltByFolder, MachineName(row.built.machine, &room));
      break;
    case MachineHow::kUnknown:
      Say(MessageId::kBuiltUnknown);
      break;
  }
  switch (row.built.problem) {
    case o2s::engine::FileProblem::kNone:
      break;
    case o2s::engine::FileProblem::kEmpty:
      Say(MessageId::kProblemEmpty);
      break;
    case o2s::engine::FileProblem::kNotDriver:
      Say(MessageId::kProblemNotDriver);
      break;
    case o2s::engine::FileProblem::kNotChecked:
      Say(MessageId::kProblemNotChecked);
      break;
  }
}

void PrintReason(const Survey& survey, const o2s::engine::OptionRow& row) {
  using o2s::engine::TickReason;
  std::string names = VersionNames(row.versions);
  std::string room;
  switch (row.reason) {
    case TickReason::kFits:
      return Say(MessageId::kReasonFits);
    case TickReason::kSameVersion:
      return Say(MessageId::kReasonSameVersion, VersionName(survey.version));
    case TickReason::kNearest:
      return Say(MessageId::kReasonNearest, names.c_str(), VersionName(survey.version));
    case TickReason::kUserTicked:
      return Say(MessageId::kReasonUserTicked);
    case TickReason::kUserUnticked:
      return Say(MessageId::kReasonUserUnticked);
    case TickReason::kOtherMachine:
      return Say(MessageId::kReasonOtherMachine, MachineName(survey.identity.machine, &room));
    case TickReason::kOtherVersion:
      return Say(MessageId::kReasonOtherVersion, names.c_str(), VersionName(survey.version));
    case TickReason::kLaterVersion:
      return Say(MessageId::kReasonLaterVersion, names.c_str());
    case TickReason::kNt4:
      return Say(MessageId::kReasonNt4);
    case TickReason::kSkipped:
      return Say(row.skipped == o2s::engine::Skipped::kNoDriverFile ? MessageId::kReasonNoDriverFile : MessageId::kReasonNoIds);
    case TickReason::kRefused:
      return Say(row.refused == o2s::engine::RefusedName::kNotPlain ? MessageId::kReasonRefusedNotPlain
                                                                    : MessageId::kReasonRefusedSetupOwn,
                 row.refusedName.c_str());
  }
}

// How GUI-mode setup will install the device of a ticked option.
void PrintGuiMode(const o2s::engine::OptionRow& row) {
  using o2s::engine::InfFit;
  using o2s::engine::SupportKind;
  std::string inf;
  for (const auto& file : row.support) {
    if (file.kind == SupportKind::kInf && inf.empty()) inf = file.name;
  }
  switch (row.infFit) {
    case InfFit::kServes:
      Say(MessageId::kGuiServes, row.inf.c_str());
      break;
    case InfFit::kNoInf:
      Say(MessageId::kGuiNoInf);
      break;
    case InfFit::kNotFound:
      Say(MessageId::kGuiInfNotFound, inf.c_str());
      break;
    case InfFit::kNotRead:
      Say(MessageId::kGuiInfNotRead, inf.c_str());
      break;
    case InfFit::kNoIds:
      Say(MessageId::kGuiInfNoIds, inf.c_str());
      break;
  }
  for (const auto& file : row.support) {
    if (file.unsafe) {
      Say(MessageId::kGuiFileUnsafe, file.name.c_str());
    } else if (!file.found.found && file.kind != SupportKind::kInf) {
      Say(MessageId::kGuiFileMissing, file.name.c_str());
    }
  }
}

void PrintDrivers(const Survey& survey) {
  for (unsigned d = 0; d < survey.drivers.size(); ++d) {
    const auto& driver = survey.drivers[d];
    Say(MessageId::kHeadingDriver, d + 1, driver.folder.c_str(), driver.oemFile.c_str());
    if (driver.problem == o2s::engine::DriverProblem::kNoOptions) Say(MessageId::kDriverNoOptions);
    for (const auto& row : driver.rows) {
      MessageId mark = !row.tickable ? MessageId::kOptionNotTickable
                       : row.ticked  ? MessageId::kOptionTicked
                                     : MessageId::kOptionUnticked;
      Say(mark, row.option.key.c_str(), row.option.description.c_str());
      PrintFileOf(row);
      if (!row.versions.empty()) Say(MessageId::kVersionsNamed, VersionNames(row.versions).c_str());
      PrintReason(survey, row);
      if (row.ticked && row.tickable) PrintGuiMode(row);
    }
  }
}

const std::string& KeyOf(const Survey& survey, unsigned driver, unsigned index) {
  for (const auto& row : survey.drivers[driver].rows) {
    if (row.option.index == index) return row.option.key;
  }
  static const std::string kNone;
  return kNone;
}

// Each id as "ID (FROM -> TO)", joined.
std::string Remapped(const std::vector<o2s::engine::Remapped>& ids) {
  std::vector<std::string> texts;
  for (const auto& id : ids) {
    texts.push_back(o2s::engine::FormatMessage(gLanguage, MessageId::kRemapped, id.id.c_str(), id.from.c_str(), id.to.c_str()));
  }
  return Joined(texts);
}

void PrintConflicts(const Survey& survey) {
  if (survey.optionConflicts.empty() && survey.driverConflicts.empty() && survey.setupConflicts.empty()) return;
  Say(MessageId::kHeadingConflicts);
  for (const auto& c : survey.optionConflicts) {
    const char* later = KeyOf(survey, c.driver, c.later).c_str();
    Say(MessageId::kPlannedOption, survey.drivers[c.driver].folder.c_str(), c.what.c_str(),
        KeyOf(survey, c.driver, c.earlier).c_str(), later, later);
  }
  for (const auto& c : survey.driverConflicts) {
    const char* a = survey.drivers[c.earlier].folder.c_str();
    const char* b = survey.drivers[c.later].folder.c_str();
    if (!c.services.empty()) Say(MessageId::kPlannedService, a, b, Joined(c.services).c_str(), b);
    if (!c.ids.empty()) Say(MessageId::kPlannedId, a, b, Remapped(c.ids).c_str(), b);
  }
  for (const auto& c : survey.setupConflicts) {
    const char* b = survey.drivers[c.driver].folder.c_str();
    if (!c.services.empty()) Say(MessageId::kSetupService, b, Joined(c.services).c_str(), b);
    if (!c.ids.empty()) Say(MessageId::kSetupId, b, Remapped(c.ids).c_str(), b);
  }
}

void PrintFiles(const Survey& survey) {
  if (survey.planned.empty()) return;
  Say(MessageId::kHeadingFiles);
  for (const auto& p : survey.planned) {
    const char* file = p.file.c_str();
    if (p.brought) {
      std::string from = survey.drivers[p.driver].folder + "/" + p.source.path;
      Say(MessageId::kFileBrought, p.source.name.c_str(), from.c_str());
    } else if (p.source.found) {
      bool sameFolder = std::none_of(survey.planned.begin(), survey.planned.end(), [&](const auto& other) {
        return other.brought && o2s::engine::FoldName(other.source.name) == o2s::engine::FoldName(p.source.name);
      });
      Say(MessageId::kFileNotBrought, p.source.name.c_str(), Text(sameFolder ? MessageId::kFileSameFolder : MessageId::kFileLaterRun));
    } else if (p.inSetup == o2s::engine::SetupHas::kPresent) {
      Say(MessageId::kFileInSetup, file);
    } else if (p.inSetup == o2s::engine::SetupHas::kCompressed) {
      Say(MessageId::kFileInSetupCompressed, file);
    } else if (p.missing) {
      Say(MessageId::kFileMissing, file);
    }
  }
}

void PrintSupportFiles(const Survey& survey) {
  if (survey.support.empty()) return;
  Say(MessageId::kHeadingSupportFiles);
  for (const auto& p : survey.support) {
    std::string from = survey.drivers[p.driver].folder + "/" + p.source.path;
    if (p.listedBySetup) {
      Say(MessageId::kSupportListedBySetup, p.name.c_str());
    } else if (!p.brought) {
      Say(MessageId::kFileNotBrought, p.name.c_str(), Text(MessageId::kFileLaterRun));
    } else if (p.value.empty()) {
      std::string inf;
      for (const auto& row : survey.drivers[p.driver].rows) {
        if (row.option.index == p.option) inf = row.inf;
      }
      Say(MessageId::kSupportCopiedBrought, p.name.c_str(), from.c_str(), inf.c_str());
    } else {
      Say(MessageId::kSupportBrought, p.name.c_str(), from.c_str(), p.listed.c_str(), p.value.c_str());
    }
  }
}

void PrintRuns(const Survey& survey, const o2s::engine::IntegrationPlan& plan) {
  if (plan.runs.empty()) return;
  Say(MessageId::kHeadingRuns);
  for (const auto& run : plan.runs) {
    if (run.allOptions) {
      Say(MessageId::kRunAll, run.driverFolder.c_str());
      continue;
    }
    unsigned d = 0;
    while (survey.drivers[d].folder != run.driverFolder) ++d;
    std::vector<std::string> keys;
    for (unsigned index : run.keptOptions) keys.push_back(KeyOf(survey, d, index));
    Say(MessageId::kRunKept, run.driverFolder.c_str(), Joined(keys).c_str());
  }
}

// What the catalogue says of a failure of ApplyPlan.
MessageId FailureMessage(o2s::engine::ApplyFailure failure) {
  using o2s::engine::ApplyFailure;
  switch (failure) {
    case ApplyFailure::kNone:
    case ApplyFailure::kSetupFileMissing:
      return MessageId::kFailSetupFileMissing;
    case ApplyFailure::kSetupFileChanged:
      return MessageId::kFailSetupFileChanged;
    case ApplyFailure::kDriverFileMissing:
      return MessageId::kFailDriverFileMissing;
    case ApplyFailure::kNotRegularFile:
      return MessageId::kFailNotRegularFile;
    case ApplyFailure::kRunFailed:
      return MessageId::kFailRunFailed;
    case ApplyFailure::kWriteFailed:
      return MessageId::kFailWriteFailed;
    case ApplyFailure::kScratchFailed:
      return MessageId::kFailScratchFailed;
    case ApplyFailure::kUnsafeName:
      return MessageId::kFailUnsafeName;
    case ApplyFailure::kFileTooBig:
      return MessageId::kFailFileTooBig;
  }
  return MessageId::kFailRunFailed;
}

// Returns false where the plan was not carried out whole.
bool PrintApplied(const o2s::engine::ApplyOutcome& outcome) {
  using o2s::engine::FileAction;
  if (!outcome.files.empty()) Say(MessageId::kHeadingWritten);
  for (const auto& file : outcome.files) {
    static const MessageId kActions[] = {MessageId::kActionCreate, MessageId::kActionReplace, MessageId::kActionSame,
                                         MessageId::kActionKeepBackup, MessageId::kActionRepair, MessageId::kActionConflict};
    Say(kActions[static_cast<unsigned>(file.action)], file.name.c_str());
  }
  if (outcome.failure == o2s::engine::ApplyFailure::kNone) return true;
  Say(FailureMessage(outcome.failure), outcome.subject.c_str());
  return false;
}

// The check's texts, in the user's language.
void PrintFinding(const o2s::Finding& finding, const o2s::CheckResult& result) {
  static char text[2048];
  o2s::FormatFinding(finding, result, text, sizeof text, gLanguage);
  o2s::PrintConsole("%s\n", text);
}

const unsigned kMaxFindings = 1024;
o2s::CheckWorkspace gWorkspace;
o2s::Finding gFindings[kMaxFindings];

// Prints the check's findings (in gFindings; `done`: the check ran to its
// end). Returns the exit status.
int PrintCheck(bool done, const o2s::CheckResult& result) {
  Say(MessageId::kHeadingCheck);
  if (!done) {
    Say(MessageId::kCheckFailed);
    return 3;
  }
  for (unsigned i = 0; i < result.count; ++i) PrintFinding(gFindings[i], result);
  static char count[512];
  o2s::FormatFindingCount(result, count, sizeof count, gLanguage);
  o2s::PrintConsole("%s", count);
  return result.problems > 0 ? 1 : 0;
}

int CheckFolder(const std::string& folder) {
  o2s::CheckResult result;
  bool done = o2s::CheckSetupFolder(folder.c_str(), &gWorkspace, gFindings, kMaxFindings, &result) == o2s::kCheckDone;
  return PrintCheck(done, result);
}

// Surveys the setup folder `input` names and prints the plan, with
// `shownFolder` for the setup folder's name; ends the process where
// nothing is to be written (--json, --dry-run, nothing ticked).
o2s::engine::IntegrationPlan SurveyAndPrint(const Arguments& arguments, o2s::engine::SurveyInput input,
                                            const std::string& shownFolder) {
  Survey survey = SurveyOf(input);
  survey.setupFolder = shownFolder;
  RefuseUnusable(survey);
  if (!arguments.options.empty()) {
    input.ticks = TicksOf(arguments, survey);
    survey = SurveyOf(input);
    survey.setupFolder = shownFolder;
    RefuseUnusable(survey);
  }
  if (survey.windows == 0) UsageError(MessageId::kUsageNoVersion);
  survey.setupFolder = input.setupFolder;
  o2s::engine::IntegrationPlan plan = o2s::engine::MakePlan(survey);
  survey.setupFolder = shownFolder;
  if (arguments.json) {
    // Past the console's conversion: UTF-8 bytes for another program.
    std::string json = o2s::engine::SurveyToJson(survey, plan);
    fwrite(json.data(), 1, json.size(), stdout);
    o2s::EndProcess(0);
  }
  PrintSetup(survey);
  PrintDrivers(survey);
  PrintConflicts(survey);
  PrintFiles(survey);
  PrintSupportFiles(survey);
  PrintRuns(survey, plan);
  if (plan.runs.empty()) {
    Say(MessageId::kNothingTicked);
    o2s::EndProcess(arguments.dryRun ? 0 : 3);
  }
  if (arguments.dryRun) {
    Say(MessageId::kDryRun);
    o2s::EndProcess(0);
  }
  return plan;
}

// --iso: the scratch folders (flat, each made by the platform), removed
// however the process ends.
std::vector<std::string> gScratchFolders;
void RemoveScratch() {
  for (const std::string& folder : gScratchFolders) o2s::RemoveScratchFolder(folder.c_str());
}

std::string MakeScratch() {
  char path[1024];
  if (!o2s::MakeScratchFolder(path, sizeof path)) {
    Say(MessageId::kFailScratchFailed, "");
    o2s::EndProcess(3);
  }
  if (gScratchFolders.empty()) atexit(RemoveScratch);
  gScratchFolders.push_back(path);
  return path;
}

[[noreturn]] void RefuseImage(const std::string& iso, o2s::iso::IsoProblem problem, const std::string& subject,
                              int status) {
  auto reason = static_cast<MessageId>(static_cast<unsigned>(MessageId::kIsoProblemNone) + static_cast<unsigned>(problem));
  Say(MessageId::kIsoRefused, iso.c_str(), Text(reason), subject.c_str());
  o2s::EndProcess(status);
}

// A stop of the image's integration (engine/image_integration.h): the image
// or one of its files refused before anything was planned (2), or later (3).
[[noreturn]] void RefuseImageStop(const std::string& iso, o2s::engine::ImageStop stop, o2s::iso::IsoProblem problem,
                                  const std::string& subject, int refusedStatus) {
  if (stop == o2s::engine::ImageStop::kScratchFailed) {
    Say(MessageId::kFailScratchFailed, subject.c_str());
    o2s::EndProcess(3);
  }
  RefuseImage(iso, problem, subject, refusedStatus);
}

[[noreturn]] void IntegrateImage(const Arguments& arguments) {
  using o2s::engine::ImageStop;
  const std::string& iso = arguments.iso;
  o2s::iso::FileReader reader;
  if (!reader.Open(iso)) {
    Say(MessageId::kIsoUnreadable, iso.c_str());
    o2s::EndProcess(2);
  }
  std::string taken = MakeScratch();
  o2s::engine::ImageSource source = o2s::engine::OpenImageSource(reader, arguments.driverFolders, arguments.windows, taken);
  if (source.setupFolder < 0) {
    if (source.stop == ImageStop::kImageRefused) RefuseImage(iso, source.problem, source.subject, 2);
    Say(MessageId::kIsoNoSetupFolder, iso.c_str());
    o2s::EndProcess(2);
  }
  const o2s::iso::Image& image = source.image;
  const o2s::iso::Directory& dir = image.iso.directories[source.setupFolder];
  const std::string& shown = source.shownFolder;
  // --json prints JSON alone.
  if (!arguments.json) Say(MessageId::kIsoSetupFolder, iso.c_str(), shown.c_str());
  if (source.setupFolders.size() > 1 && !arguments.json) {
    std::vector<std::string> paths;
    unsigned loaders = 0;
    for (int f : source.setupFolders) {
      paths.push_back("/" + image.iso.directories[f].path);
      if (image.iso.directories[f].holdsLoader) ++loaders;
    }
    Say(dir.holdsLoader && loaders == 1 ? MessageId::kIsoSeveralLoader : MessageId::kIsoSeveralFiles,
        Joined(paths).c_str(), shown.c_str());
  }
  if (source.stop != ImageStop::kNone) RefuseImageStop(iso, source.stop, source.problem, source.subject, 2);

  o2s::engine::IntegrationPlan plan = SurveyAndPrint(arguments, source.input, iso + ":" + shown);
  o2s::engine::ImageFolders folders{MakeScratch(), MakeScratch()};
  o2s::engine::ImageResult result =
      o2s::engine::IntegrateIntoImage(reader, source, plan, folders, &gWorkspace, gFindings, kMaxFindings);
  if (!PrintApplied(result.applied)) o2s::EndProcess(3);
  // Refused where the engine took a file out for the check; the update's
  // refusal comes after the plan was carried out.
  if (result.stop != ImageStop::kNone) RefuseImageStop(iso, result.stop, result.problem, result.subject,
                                                       result.stop == ImageStop::kImageRefused ? 2 : 3);
  if (result.files.empty()) {
    Say(MessageId::kIsoNothingToWrite, arguments.output.c_str());
  } else {
    const o2s::iso::Update& update = result.update;
    switch (o2s::iso::WriteUpdatedImage(iso, image.size, update, arguments.output)) {
      case o2s::iso::WriteResult::kWritten:
        break;
      case o2s::iso::WriteResult::kSameFile:
        Say(MessageId::kIsoSameFile, arguments.output.c_str());
        o2s::EndProcess(2);
      case o2s::iso::WriteResult::kInputChanged:
        Say(MessageId::kIsoChanged, iso.c_str());
        o2s::EndProcess(3);
      case o2s::iso::WriteResult::kReadFailed:
        Say(MessageId::kIsoUnreadable, iso.c_str());
        o2s::EndProcess(3);
      case o2s::iso::WriteResult::kWriteFailed:
        Say(MessageId::kIsoWriteFailed, arguments.output.c_str());
        o2s::EndProcess(3);
    }
    unsigned replaced = 0, appended = 0;
    for (const auto& change : update.files) replaced += change.replaced ? 1 : 0;
    for (const auto& piece : update.appended) appended += static_cast<unsigned>(piece.size() / o2s::iso::kSector);
    Say(MessageId::kIsoWritten, arguments.output.c_str(), static_cast<unsigned>(update.files.size()) - replaced, replaced,
        static_cast<unsigned>(update.patches.size()), appended);
  }
  o2s::EndProcess(PrintCheck(result.checked, result.check));
}

}  // namespace

int main(int argc, char** argv) {
  o2s::StartConsole();
  gLanguage = o2s::UserLanguage();
  Arguments arguments = ParseArguments(argc, argv);
  if (!arguments.iso.empty()) IntegrateImage(arguments);
  o2s::engine::SurveyInput input;
  input.setupFolder = arguments.setupFolder;
  char folderName[512];
  o2s::GetFolderName(arguments.setupFolder.c_str(), folderName, sizeof folderName);
  input.setupFolderName = folderName;
  input.driverFolders = arguments.driverFolders;
  input.windows = arguments.windows;
  o2s::engine::IntegrationPlan plan = SurveyAndPrint(arguments, input, arguments.setupFolder);
  if (!PrintApplied(o2s::engine::ApplyPlan(plan, false))) o2s::EndProcess(3);
  o2s::EndProcess(CheckFolder(arguments.setupFolder));
}
