#include "engine/survey_json.h"

#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace o2s::engine {
namespace {

using Field = std::pair<const char*, std::string>;

std::string Object(std::initializer_list<Field> fields) {
  std::string out = "{";
  for (const Field& field : fields) {
    if (out.size() > 1) out += ',';
    out += '"';
    out += field.first;
    out += "\":";
    out += field.second;
  }
  return out + "}";
}

std::string Array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) {
    if (out.size() > 1) out += ',';
    out += item;
  }
  return out + "]";
}

template <typename T, typename Each>
std::string ArrayOf(const T& items, Each each) {
  std::vector<std::string> out;
  for (const auto& item : items) out.push_back(each(item));
  return Array(out);
}

std::string Number(size_t n) { return std::to_string(n); }
std::string Bool(bool b) { return b ? "true" : "false"; }
const std::string kNull = "null";
// A kind's name, or null for none ("").
std::string Name(const char* name) { return name[0] == '\0' ? kNull : "\"" + std::string(name) + "\""; }

std::string Oem(const std::string& text) { return JsonString(text, TextFrom::kCp932); }
std::string OemOrNull(bool has, const std::string& text) { return has ? Oem(text) : kNull; }
std::string FileName(const std::string& text) { return JsonString(text, TextFrom::kFileName); }

const char* NameOf(SurveyProblem problem) {
  switch (problem) {
    case SurveyProblem::kNone: return "";
    case SurveyProblem::kNoSetupFile: return "noSetupFile";
    case SurveyProblem::kSetupNotRegular: return "notRegular";
    case SurveyProblem::kSetupTooBig: return "tooBig";
    case SurveyProblem::kSetupUnreadable: return "unreadable";
  }
  return "";
}

const char* NameOf(DriverProblem problem) {
  switch (problem) {
    case DriverProblem::kNone: return "";
    case DriverProblem::kNoOemFile: return "noOemFile";
    case DriverProblem::kNotRegular: return "notRegular";
    case DriverProblem::kTooBig: return "tooBig";
    case DriverProblem::kUnreadable: return "unreadable";
    case DriverProblem::kNoOptions: return "noOptions";
  }
  return "";
}

const char* NameOf(RefusedName refused) {
  switch (refused) {
    case RefusedName::kNone: return "";
    case RefusedName::kNotPlain: return "notPlain";
    case RefusedName::kSetupOwn: return "setupOwn";
  }
  return "";
}

const char* NameOf(FileLineKind kind) {
  switch (kind) {
    case FileLineKind::kDriver: return "driver";
    case FileLineKind::kInf: return "inf";
    case FileLineKind::kCatalog: return "catalog";
    case FileLineKind::kDll: return "dll";
  }
  return "";
}

const char* NameOf(SupportKind kind) {
  switch (kind) {
    case SupportKind::kInf: return "inf";
    case SupportKind::kCatalog: return "catalog";
    case SupportKind::kDll: return "dll";
    case SupportKind::kCopied: return "copied";
  }
  return "";
}

const char* NameOf(InfFit fit) {
  switch (fit) {
    case InfFit::kNoInf: return "noInf";
    case InfFit::kNotFound: return "notFound";
    case InfFit::kNotRead: return "notRead";
    case InfFit::kNoIds: return "noIds";
    case InfFit::kServes: return "serves";
  }
  return "";
}

const char* NameOf(MachineHow how) {
  switch (how) {
    case MachineHow::kRead: return "read";
    case MachineHow::kGuessed: return "guessed";
    case MachineHow::kAbsent: return "absent";
    case MachineHow::kUnknown: return "unknown";
  }
  return "";
}

const char* NameOf(FileProblem problem) {
  switch (problem) {
    case FileProblem::kNone: return "";
    case FileProblem::kEmpty: return "empty";
    case FileProblem::kNotDriver: return "notDriver";
    case FileProblem::kNotChecked: return "notChecked";
  }
  return "";
}

const char* NameOf(VersionFit fit) {
  switch (fit) {
    case VersionFit::kNone: return "none";
    case VersionFit::kSame: return "same";
    case VersionFit::kNearest: return "nearest";
    case VersionFit::kOther: return "other";
    case VersionFit::kNt4: return "nt4";
    case VersionFit::kLater: return "later";
  }
  return "";
}

const char* NameOf(Skipped skipped) {
  switch (skipped) {
    case Skipped::kNone: return "";
    case Skipped::kNoDriverFile: return "noDriverFile";
    case Skipped::kNoIds: return "noIds";
  }
  return "";
}

const char* NameOf(TickReason reason) {
  switch (reason) {
    case TickReason::kFits: return "fits";
    case TickReason::kSameVersion: return "sameVersion";
    case TickReason::kNearest: return "nearest";
    case TickReason::kUserTicked: return "userTicked";
    case TickReason::kUserUnticked: return "userUnticked";
    case TickReason::kOtherMachine: return "otherMachine";
    case TickReason::kOtherVersion: return "otherVersion";
    case TickReason::kLaterVersion: return "laterVersion";
    case TickReason::kNt4: return "nt4";
    case TickReason::kSkipped: return "skipped";
    case TickReason::kRefused: return "refused";
  }
  return "";
}

const char* NameOf(SetupHas has) {
  switch (has) {
    case SetupHas::kPresent: return "present";
    case SetupHas::kCompressed: return "compressed";
    case SetupHas::kEmpty: return "empty";
    case SetupHas::kAbsent: return "absent";
    case SetupHas::kUnknown: return "unknown";
  }
  return "";
}

std::string SetupJson(const Survey& survey) {
  const SetupIdentity& identity = survey.identity;
  std::string answer = survey.windows != 0 ? "\"" + std::to_string(survey.windows) + "\"" : kNull;
  return Object({{"folder", FileName(survey.setupFolder)},
                 {"file", FileName(survey.setupFile)},
                 {"problem", Name(NameOf(survey.problem))},
                 {"identity", Object({{"machine", Number(identity.machine)},
                                      {"evidence", Number(identity.evidence)},
                                      {"major", Number(identity.majorVersion)},
                                      {"minor", Number(identity.minorVersion)}})},
                 {"version", Number(survey.version)},
                 {"answer", answer},
                 {"answerGiven", Bool(survey.windowsGiven)}});
}

std::string OptionJson(const OptionInfo& option) {
  return Object({{"index", Number(option.index)},
                 {"key", Oem(option.key)},
                 {"description", Oem(option.description)},
                 {"driverFile", OemOrNull(option.hasDriverFile, option.driverFile)},
                 {"driverFileRefused", Name(NameOf(option.driverFileRefused))},
                 {"service", OemOrNull(!option.service.empty(), option.service)},
                 {"ids", ArrayOf(option.ids, [](const HardwareId& id) {
                    return Object({{"id", Oem(id.id)}, {"match", Oem(id.match)}, {"service", Oem(id.service)}});
                  })},
                 {"files", ArrayOf(option.files, [](const FileLine& file) {
                    return Object({{"kind", Name(NameOf(file.kind))},
                                   {"disk", Oem(file.disk)},
                                   {"name", Oem(file.name)},
                                   {"directory", OemOrNull(file.hasDirectory, file.directory)},
                                   {"refused", Name(NameOf(file.refused))}});
                  })}});
}

// Where a file was found below its driver's folder, as it is on disk.
std::string SourceJson(const FoundFile& found) {
  if (!found.found) return kNull;
  return Object({{"folder", FileName(found.folder)},
                 {"name", FileName(found.name)},
                 {"path", FileName(found.path)},
                 {"size", Number(found.size)}});
}

std::string RowJson(const OptionRow& row) {
  std::string refused = row.refused == RefusedName::kNone
                            ? kNull
                            : Object({{"name", Oem(row.refusedName)}, {"why", Name(NameOf(row.refused))}});
  return Object({{"option", OptionJson(row.option)},
                 {"found", Object({{"source", SourceJson(row.found)},
                                   {"directory", OemOrNull(row.found.hasDirectory, row.found.directory)},
                                   {"beside", Bool(row.found.beside)},
                                   {"directoryRefused", Bool(row.found.directoryRefused)}})},
                 {"built", Object({{"machine", Number(row.built.machine)},
                                   {"how", Name(NameOf(row.built.how))},
                                   {"problem", Name(NameOf(row.built.problem))},
                                   {"fits", Bool(row.built.fits)}})},
                 {"fits", Bool(row.fits)},
                 {"versions", ArrayOf(row.versions, [](unsigned v) { return Number(v); })},
                 {"versionFit", Name(NameOf(row.versionFit))},
                 {"skipped", Name(NameOf(row.skipped))},
                 {"refused", refused},
                 {"tickable", Bool(row.tickable)},
                 {"ticked", Bool(row.ticked)},
                 {"reason", Name(NameOf(row.reason))},
                 {"infFit", Name(NameOf(row.infFit))},
                 {"inf", row.infFit == InfFit::kServes ? FileName(row.inf) : kNull},
                 {"support", ArrayOf(row.support, [](const SupportFile& f) {
                    return Object({{"kind", Name(NameOf(f.kind))},
                                   {"name", Oem(f.name)},
                                   {"source", SourceJson(f.found)},
                                   {"unsafe", Bool(f.unsafe)},
                                   {"inf", f.kind == SupportKind::kCopied ? FileName(f.inf) : kNull}});
                  })}});
}

std::string DriverJson(const DriverSurvey& driver) {
  return Object({{"folder", FileName(driver.folder)},
                 {"oemFile", FileName(driver.oemFile)},
                 {"problem", Name(NameOf(driver.problem))},
                 {"rows", ArrayOf(driver.rows, RowJson)}});
}

std::string RemappedJson(const Remapped& id) {
  return Object({{"id", Oem(id.id)}, {"from", Oem(id.from)}, {"to", Oem(id.to)}});
}

std::string ConflictsJson(const Survey& survey) {
  return Object({{"options", ArrayOf(survey.optionConflicts, [](const OptionConflict& c) {
                    return Object({{"driver", Number(c.driver)},
                                   {"what", Oem(c.what)},
                                   {"earlier", Number(c.earlier)},
                                   {"later", Number(c.later)}});
                  })},
                 {"drivers", ArrayOf(survey.driverConflicts, [](const DriverConflict& c) {
                    return Object({{"earlier", Number(c.earlier)},
                                   {"later", Number(c.later)},
                                   {"services", ArrayOf(c.services, Oem)},
                                   {"ids", ArrayOf(c.ids, RemappedJson)}});
                  })},
                 {"setup", ArrayOf(survey.setupConflicts, [](const SetupConflict& c) {
                    return Object({{"driver", Number(c.driver)},
                                   {"services", ArrayOf(c.services, Oem)},
                                   {"ids", ArrayOf(c.ids, RemappedJson)}});
                  })}});
}

std::string DriverFileJson(const PlannedDriver& p) {
  return Object({{"service", Oem(p.service)},
                 {"file", Oem(p.file)},
                 {"driver", Number(p.driver)},
                 {"option", Number(p.option)},
                 {"state", Name(NameOf(p.inSetup))},
                 {"setupName", p.setupName.empty() ? kNull : FileName(p.setupName)},
                 {"source", SourceJson(p.source)},
                 {"directory", OemOrNull(p.source.hasDirectory, p.source.directory)},
                 {"beside", Bool(p.source.beside)},
                 {"brought", Bool(p.brought)},
                 {"missing", Bool(p.missing)},
                 {"unsure", Bool(p.unsure)}});
}

std::string SupportFileJson(const PlannedSupport& p) {
  return Object({{"name", FileName(p.name)},
                 {"listed", Oem(p.listed)},
                 {"kind", Name(NameOf(p.kind))},
                 {"driver", Number(p.driver)},
                 {"option", Number(p.option)},
                 {"source", SourceJson(p.source)},
                 {"row", p.value.empty() ? kNull : Oem(p.value)},
                 {"listedBySetup", Bool(p.listedBySetup)},
                 {"brought", Bool(p.brought)}});
}

// The runs in order, each with its driver's index: MakePlan keeps the
// drivers' order, and one folder may be given twice.
std::string RunsJson(const Survey& survey, const IntegrationPlan& plan) {
  std::vector<std::string> runs;
  size_t d = 0;
  for (const DriverRun& run : plan.runs) {
    while (d < survey.drivers.size() && survey.drivers[d].folder != run.driverFolder) ++d;
    std::string kept = run.allOptions ? kNull : ArrayOf(run.keptOptions, [](unsigned i) { return Number(i); });
    runs.push_back(Object({{"driver", Number(d)},
                           {"folder", FileName(run.driverFolder)},
                           {"oemFile", FileName(run.oemFile)},
                           {"keptOptions", kept},
                           {"files", ArrayOf(run.files, [](const BroughtFile& f) {
                              return Object({{"name", FileName(f.name)}, {"source", FileName(f.source)},
                                             {"support", Bool(f.support)}});
                            })}}));
    ++d;
  }
  return Array(runs);
}

}  // namespace

std::string JsonString(const std::string& text, TextFrom from) {
  std::string utf8(3 * text.size(), '\0');
  size_t size = from == TextFrom::kCp932 ? Cp932ToUtf8(text.data(), text.size(), &utf8[0], utf8.size())
                                         : FileNameToUtf8(text.data(), text.size(), &utf8[0], utf8.size());
  std::string out = "\"";
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);  // UTF-8 as converted: valid
        }
    }
  }
  return out + "\"";
}

std::string ConflictsToJson(const Survey& survey) { return ConflictsJson(survey); }

std::string SurveyToJson(const Survey& survey, const IntegrationPlan& plan) {
  return Object({{"setup", SetupJson(survey)},
                 {"drivers", ArrayOf(survey.drivers, DriverJson)},
                 {"conflicts", ConflictsJson(survey)},
                 {"driverFiles", ArrayOf(survey.planned, DriverFileJson)},
                 {"supportFiles", ArrayOf(survey.support, SupportFileJson)},
                 {"runs", RunsJson(survey, plan)}}) +
         "\n";
}

}  // namespace o2s::engine
