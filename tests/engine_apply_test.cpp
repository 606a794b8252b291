// The engine's writer against the tool itself: the setup folder a plan
// leaves holds the bytes the tool gives when run as a process on the same
// files, and every refusal leaves the folder as it was.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/apply.h"
#include "oem/driver_description.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"
#include "platform/profile_lines.h"
#include "tests/support/driver_files.h"
#include "tests/support/fault_table.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using o2s::engine::ApplyFailure;
using o2s::engine::ApplyOutcome;
using o2s::engine::ApplyPlan;
using o2s::engine::DriverRun;
using o2s::engine::FileAction;
using o2s::engine::IntegrationPlan;
using o2s::engine::WindowsTarget;

using Folder = std::map<std::string, std::string>;  // name -> bytes

Folder Snapshot(const std::string& dir) {
  Folder folder;
  for (const std::string& name : ListDir(dir)) folder[name] = ReadFile(dir + "/" + name);
  return folder;
}

// The option keys and driver files of a txtsetup.oem, as a run lists them.
std::vector<std::pair<std::string, std::string>> OptionsOf(const std::string& path) {
  auto driver = std::make_unique<o2s::DriverDescription>();
  auto option = std::make_unique<o2s::OptionDescription>();
  o2s::SetConsoleSink([](void*, const char*, size_t) {}, nullptr);
  o2s::ReadDriverDescription(path.c_str(), driver.get());
  std::vector<std::pair<std::string, std::string>> options;
  for (unsigned i = 0; i < driver->optionCount; ++i) {
    bool read = o2s::ReadOptionDescription(path.c_str(), *driver, i, option.get());
    options.emplace_back(driver->optionKeys[i], read && option->driverFile ? option->driverFile : "");
  }
  o2s::SetConsoleSink(nullptr, nullptr);
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
  return options;
}

// A driver folder: a corpus txtsetup.oem under its own name, and a
// stand-in image for each driver file it names, beside it.
struct Driver {
  std::string folder;
  std::string oemName;
  std::vector<std::pair<std::string, std::string>> options;
};

Driver MakeDriver(const std::string& folder, const std::string& corpusName) {
  mkdir(folder.c_str(), 0755);
  Driver d{folder, corpusName, {}};
  WriteFile(folder + "/" + corpusName, ReadFile(CorpusDir() + "/" + corpusName));
  d.options = OptionsOf(folder + "/" + corpusName);
  for (size_t i = 0; i < d.options.size(); ++i) {
    const std::string& file = d.options[i].second;
    if (!file.empty()) WriteFile(folder + "/" + file, MakeDriverImage(0x14c, {"ntoskrnl.exe"}, 1024 + 64 * i));
  }
  return d;
}

// The run of `d` keeping `kept` (all when empty), bringing the kept
// options' driver files.
DriverRun RunOf(const Driver& d, const std::vector<unsigned>& kept = {}) {
  DriverRun run;
  run.driverFolder = d.folder;
  run.oemFile = d.oemName;
  run.allOptions = kept.empty();
  run.keptOptions = kept;
  for (unsigned i = 0; i < d.options.size(); ++i) {
    const std::string& file = d.options[i].second;
    bool taken = kept.empty() || std::find(kept.begin(), kept.end(), i) != kept.end();
    if (taken && !file.empty()) run.files.push_back({file, file});
  }
  return run;
}

// The driver's file cut as the page cuts it, with KeepSectionEntries.
std::string CutOem(const Driver& d, const std::vector<unsigned>& kept) {
  std::string bytes = ReadFile(d.folder + "/" + d.oemName);
  if (kept.empty()) return bytes;
  std::vector<std::string> keys;
  for (unsigned i : kept) keys.push_back(d.options[i].first);
  return o2s::KeepSectionEntries(bytes, "scsi", keys);
}

const std::string kSetupName = "I386 - Copy";

class EngineApply : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_ = root_ / kSetupName;
    mkdir(setup_.c_str(), 0755);
    WriteFile(setup_ + "/txtsetup.sif", GenerateXpSetupFile(XpSetupFile{600}));
  }
  IntegrationPlan Plan(std::vector<DriverRun> runs, WindowsTarget windows = WindowsTarget::kXp) {
    IntegrationPlan plan;
    plan.setupFolder = setup_;
    plan.setupFile = "txtsetup.sif";
    plan.windows = windows;
    plan.runs = std::move(runs);
    return plan;
  }
  // The tool run as a process on a copy of the setup folder, once per
  // driver, with each driver's cut file and the answer typed ahead: the
  // folder it leaves, and each run's whole stdout and exit status.
  Folder ToolRuns(const std::vector<std::pair<Driver, std::vector<unsigned>>>& runs, const char* answer,
                  std::vector<std::string>* consoles, std::vector<int>* statuses) {
    ScratchDir copy;
    for (const auto& [name, bytes] : Snapshot(setup_)) WriteFile(copy / name, bytes);
    for (const auto& [driver, kept] : runs) {
      WriteFile(copy / "txtsetup.oem", CutOem(driver, kept));
      ProcessResult tool = RunProcess(ToolPath(), copy.path(), std::string(answer) + "\n\n");
      consoles->push_back(tool.out);
      statuses->push_back(tool.status);
    }
    DeleteFile(copy / "txtsetup.oem");
    return Snapshot(copy.path());
  }
  static void DeleteFile(const std::string& path) { unlink(path.c_str()); }

  ScratchDir root_;
  std::string setup_;
};

std::vector<FileAction> Actions(const ApplyOutcome& outcome) {
  std::vector<FileAction> actions;
  for (const auto& file : outcome.files) actions.push_back(file.action);
  return actions;
}

// The drivers, alone and with some options, for each answer: the files
// ApplyPlan leaves are those of the tool's runs, byte for byte, and each
// run's console is the tool's whole stdout.
TEST_F(EngineApply, SetupFileAndBackupAreTheToolsBytes) {
  struct Case {
    const char* oem;
    std::vector<unsigned> kept;
    WindowsTarget windows;
  };
  const Case cases[] = {
      {"kvm-guest-drivers-windows__viostor_txtsetup.oem", {}, WindowsTarget::kXp},
      {"DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM", {0, 3}, WindowsTarget::kXp},
      {"DP_MassStorage__LSI_FORCED_5x86_MegaSR_15.00.0811.2012_txtsetup.oem", {}, WindowsTarget::k2000},
      {"DP_MassStorage__AEC_FORCED_671x_AllXP_TXTSETUP.OEM", {1}, WindowsTarget::k2000},
      {"UniATA__driver_Dist_TXTSETUP.OEM", {}, WindowsTarget::kXp},
  };
  const std::string original = ReadFile(setup_ + "/txtsetup.sif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oem);
    WriteFile(setup_ + "/txtsetup.sif", original);
    for (const std::string& name : ListDir(setup_)) {
      if (name != "txtsetup.sif") DeleteFile(setup_ + "/" + name);
    }
    Driver d = MakeDriver(root_ / c.oem, c.oem);
    std::vector<std::string> toolConsoles;
    std::vector<int> toolStatuses;
    Folder tool = ToolRuns({{d, c.kept}}, c.windows == WindowsTarget::k2000 ? "1" : "2", &toolConsoles, &toolStatuses);
    ApplyOutcome outcome = ApplyPlan(Plan({RunOf(d, c.kept)}, c.windows), false);
    ASSERT_EQ(outcome.failure, ApplyFailure::kNone) << outcome.subject;
    Folder mine = Snapshot(setup_);
    EXPECT_EQ(mine["txtsetup.sif"], tool["txtsetup.sif"]);
    EXPECT_EQ(tool["txtsetup.sif.orig"], original);
    // A run that wrote nothing (UniATA's option has no hardware ids) leaves
    // txtsetup.sif as it was, and so needs no backup, as on the page.
    EXPECT_EQ(mine.count("txtsetup.sif.orig"), tool["txtsetup.sif"] == original ? 0u : 1u);
    if (mine.count("txtsetup.sif.orig")) {
      EXPECT_EQ(mine["txtsetup.sif.orig"], original);
    }
    ASSERT_EQ(outcome.consoles.size(), 1u);
    // The tool's whole stdout for that answer, the menu to the final prompt.
    EXPECT_EQ(ConsoleText(outcome.consoles[0]), toolConsoles[0]);
    const char* chose = c.windows == WindowsTarget::k2000 ? "Windows2000が選択されました。\n" : "WindowsXPが選択されました。\n";
    EXPECT_NE(toolConsoles[0].find(ConsoleText(Utf8ToCp932(chose))), std::string::npos);
    EXPECT_EQ(outcome.statuses, toolStatuses);
    for (const auto& file : RunOf(d, c.kept).files) {
      EXPECT_EQ(mine[file.name], ReadFile(d.folder + "/" + file.source)) << file.name;
    }
  }
}

// What the page shows before the answer: the tool's menu, and where the
// user quits there, the rest of the tool's stdout and its exit status; a
// run's console begins with that menu.
TEST_F(EngineApply, MenuAndQuitAreTheTools) {
  Driver d = MakeDriver(root_ / "viostor", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  WriteFile(setup_ + "/txtsetup.oem", ReadFile(d.folder + "/" + d.oemName));
  const std::string before = ReadFile(setup_ + "/txtsetup.sif");
  ProcessResult quit = RunProcess(ToolPath(), setup_, "\n");
  DeleteFile(setup_ + "/txtsetup.oem");
  EXPECT_EQ(ReadFile(setup_ + "/txtsetup.sif"), before);

  o2s::engine::ToolMenu menu = o2s::engine::MenuOfTool();
  EXPECT_EQ(ConsoleText(menu.menu + menu.quit), quit.out);
  EXPECT_EQ(menu.quitStatus, quit.status);
  // The menu ends in its prompt, where the answer is typed.
  EXPECT_EQ(menu.menu.substr(menu.menu.size() - 2), ": ");
  ApplyOutcome outcome = ApplyPlan(Plan({RunOf(d)}), false);
  ASSERT_EQ(outcome.consoles.size(), 1u);
  EXPECT_EQ(outcome.consoles[0].compare(0, menu.menu.size(), menu.menu), 0);
}

// Two drivers chained are two tool runs in a row; dosnet.inf gets each
// driver file once in both sections, and its backup is the file as it was.
TEST_F(EngineApply, ChainAndDosnetAsTwoToolRuns) {
  const std::string dosnet = MakeDosnet({"a.sys"}, {"b.sys"});
  WriteFile(setup_ + "/dosnet.inf", dosnet);
  Driver viostor = MakeDriver(root_ / "viostor", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  Driver vioscsi = MakeDriver(root_ / "vioscsi", "kvm-guest-drivers-windows__vioscsi_txtsetup.oem");
  std::vector<std::string> toolConsoles;
  std::vector<int> toolStatuses;
  Folder tool = ToolRuns({{viostor, {}}, {vioscsi, {}}}, "2", &toolConsoles, &toolStatuses);
  const std::string original = ReadFile(setup_ + "/txtsetup.sif");

  // Each run's console is heard as it is printed, too.
  static std::vector<std::string> heard;
  heard.clear();
  auto observerBefore = o2s::engine::SetApplyConsoleObserver([](size_t run, const char* text, size_t length) {
    if (heard.size() <= run) heard.resize(run + 1);
    heard[run].append(text, length);
  });
  ApplyOutcome outcome = ApplyPlan(Plan({RunOf(viostor), RunOf(vioscsi)}), false);
  o2s::engine::SetApplyConsoleObserver(observerBefore);
  ASSERT_EQ(outcome.failure, ApplyFailure::kNone) << outcome.subject;
  ASSERT_EQ(outcome.consoles.size(), 2u);
  for (size_t r = 0; r < 2; ++r) EXPECT_EQ(ConsoleText(outcome.consoles[r]), toolConsoles[r]) << r;
  EXPECT_EQ(heard, outcome.consoles);
  EXPECT_EQ(outcome.statuses, toolStatuses);
  Folder mine = Snapshot(setup_);
  EXPECT_EQ(mine["txtsetup.sif"], tool["txtsetup.sif"]);
  EXPECT_EQ(mine["txtsetup.sif.orig"], original);
  EXPECT_EQ(mine["dosnet.inf"], MakeDosnet({"a.sys", "viostor.sys", "vioscsi.sys"}, {"b.sys", "viostor.sys", "vioscsi.sys"}));
  EXPECT_EQ(mine["dosnet.inf.orig"], dosnet);
  EXPECT_EQ(Actions(outcome),
            (std::vector<FileAction>{FileAction::kCreate, FileAction::kCreate, FileAction::kCreate, FileAction::kCreate,
                                     FileAction::kReplace, FileAction::kReplace}));

  // Again: nothing changes, and the backups stay.
  WriteFile(setup_ + "/txtsetup.sif.orig", "kept");
  WriteFile(setup_ + "/dosnet.inf.orig", "kept too");
  Folder before = Snapshot(setup_);
  outcome = ApplyPlan(Plan({RunOf(viostor), RunOf(vioscsi)}), false);
  ASSERT_EQ(outcome.failure, ApplyFailure::kNone);
  for (const auto& file : outcome.files) {
    EXPECT_TRUE(file.action == FileAction::kSame || file.action == FileAction::kKeepBackup) << file.name;
  }
  EXPECT_EQ(Snapshot(setup_), before);
}

// Names found in any letter case, in a folder named as users name theirs,
// and each action a driver file or backup can meet; a dry run decides the
// same and writes nothing.
TEST_F(EngineApply, EachActionAndTheDryRun) {
  mkdir((root_ / "xp drivers").c_str(), 0755);
  mkdir((root_ / "xp drivers/i386").c_str(), 0755);
  Driver d = MakeDriver(root_ / "xp drivers", "DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM");
  DriverRun run = RunOf(d);
  for (const char* name : {"a.sys", "b.sys", "c.sys"}) {
    WriteFile(d.folder + "/i386/" + name, MakeDriverImage(0x14c, {"ntoskrnl.exe"}, 900 + strlen(name) * name[0]));
  }
  run.files.insert(run.files.begin(), {{"i386/a.sys", "a.sys"}, {"i386/b.sys", "b.sys"}, {"i386/c.sys", "c.sys"}});
  std::string sif = ReadFile(setup_ + "/txtsetup.sif");
  DeleteFile(setup_ + "/txtsetup.sif");
  WriteFile(setup_ + "/TXTSETUP.SIF", sif);
  WriteFile(setup_ + "/TXTSETUP.SIF.ORIG", "");  // empty: none
  WriteFile(setup_ + "/DOSNET.INF", MakeDosnet({}, {}));
  WriteFile(setup_ + "/dosnet.inf.orig", "an older backup");
  const std::string same = ReadFile(d.folder + "/" + run.files[0].source);
  const std::string mine = "the user's own";
  const std::string cut = ReadFile(d.folder + "/" + run.files[2].source).substr(0, 100);
  std::string upper = run.files[0].name;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  WriteFile(setup_ + "/" + upper, same);
  WriteFile(setup_ + "/" + run.files[1].name, mine);
  WriteFile(setup_ + "/" + run.files[2].name, cut);
  IntegrationPlan plan = Plan({run});
  plan.setupFile = "txtsetup.sif";

  Folder before = Snapshot(setup_);
  ApplyOutcome dry = ApplyPlan(plan, true);
  ASSERT_EQ(dry.failure, ApplyFailure::kNone) << dry.subject;
  EXPECT_EQ(Snapshot(setup_), before);
  ApplyOutcome wet = ApplyPlan(plan, false);
  ASSERT_EQ(wet.failure, ApplyFailure::kNone) << wet.subject;
  ASSERT_EQ(Actions(wet), Actions(dry));
  for (size_t i = 0; i < wet.files.size(); ++i) {
    FileAction a = wet.files[i].action;
    EXPECT_FALSE(dry.files[i].written);
    EXPECT_EQ(wet.files[i].written, a == FileAction::kCreate || a == FileAction::kReplace || a == FileAction::kRepair);
  }
  std::map<std::string, FileAction> byName;
  for (const auto& file : wet.files) byName[file.name] = file.action;
  EXPECT_EQ(byName[upper], FileAction::kSame);
  EXPECT_EQ(byName[run.files[1].name], FileAction::kConflict);
  EXPECT_EQ(byName[run.files[2].name], FileAction::kRepair);
  EXPECT_EQ(byName["TXTSETUP.SIF.ORIG"], FileAction::kRepair);
  EXPECT_EQ(byName["dosnet.inf.orig"], FileAction::kKeepBackup);
  EXPECT_EQ(byName["DOSNET.INF"], FileAction::kReplace);
  EXPECT_EQ(byName["TXTSETUP.SIF"], FileAction::kReplace);
  Folder after = Snapshot(setup_);
  EXPECT_EQ(after[run.files[1].name], mine);
  EXPECT_EQ(after[run.files[2].name], ReadFile(d.folder + "/" + run.files[2].source));
  EXPECT_EQ(after["TXTSETUP.SIF.ORIG"], sif);
  EXPECT_EQ(after["dosnet.inf.orig"], "an older backup");
  EXPECT_EQ(after.count("txtsetup.sif.orig") + after.count("dosnet.inf"), 0u);
}

// A folder without dosnet.inf gets none, nor its backup.
TEST_F(EngineApply, NoDosnetMakesNone) {
  Driver d = MakeDriver(root_ / "drv", "GenAHCI__txtsetup.oem");
  ApplyOutcome outcome = ApplyPlan(Plan({RunOf(d)}), false);
  ASSERT_EQ(outcome.failure, ApplyFailure::kNone) << outcome.subject;
  EXPECT_FALSE(FileExists(setup_ + "/dosnet.inf"));
  EXPECT_FALSE(FileExists(setup_ + "/dosnet.inf.orig"));
}

// The runner of the system under test (apply_plan_runner.exe under Wine,
// where OEM2SIF_APPLY_RUNNER names it) leaves the folder ApplyPlan leaves
// here: the scratch folder, the current folder and the writes of that
// system's platform layer.
TEST_F(EngineApply, RunnerLeavesTheSameFolder) {
  const char* named = getenv("OEM2SIF_APPLY_RUNNER");
  std::string runner = named && *named ? named : OEM2SIF_APPLY_RUNNER_PATH;
  WriteFile(setup_ + "/dosnet.inf", MakeDosnet({}, {}));
  Driver d = MakeDriver(root_ / "drv", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  const Folder before = Snapshot(setup_);
  ASSERT_EQ(ApplyPlan(Plan({RunOf(d)}), false).failure, ApplyFailure::kNone);
  const Folder mine = Snapshot(setup_);
  for (const std::string& name : ListDir(setup_)) DeleteFile(setup_ + "/" + name);
  for (const auto& [name, bytes] : before) WriteFile(setup_ + "/" + name, bytes);
  std::vector<std::string> args = {kSetupName, "drv", d.oemName};
  for (const auto& file : RunOf(d).files) args.push_back(file.source);
  ProcessResult result = RunProcess(runner, root_.path(), "", args);
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(Snapshot(setup_), mine);
}

// Every call of the platform's table failing in turn, in the runs and in
// the writes: each file is as it was or as planned, the backup is there
// whenever txtsetup.sif changed, and no temporary file or scratch folder
// is left.
TEST_F(EngineApply, EveryFailingCallLeavesFilesWholeAndNoLitter) {
  WriteFile(setup_ + "/dosnet.inf", MakeDosnet({}, {}));
  Driver d = MakeDriver(root_ / "drv", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  IntegrationPlan plan = Plan({RunOf(d, {0, 2})});
  const Folder before = Snapshot(setup_);
  ScratchDir planned;
  for (const auto& [name, bytes] : before) WriteFile(planned / name, bytes);
  plan.setupFolder = planned.path();
  ASSERT_EQ(ApplyPlan(plan, false).failure, ApplyFailure::kNone);
  const Folder after = Snapshot(planned.path());
  plan.setupFolder = setup_;

  ScratchDir temp;
  const char* tmpdir = getenv("TMPDIR");
  std::string tmpdirBefore = tmpdir ? tmpdir : "";
  setenv("TMPDIR", temp.path().c_str(), 1);
  FaultTable faults;
  unsigned failed = 0;
  for (unsigned n = 1;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    for (const std::string& name : ListDir(setup_)) DeleteFile(setup_ + "/" + name);
    for (const auto& [name, bytes] : before) WriteFile(setup_ + "/" + name, bytes);
    faults.Arm(n, n % 2 ? EIO : ENOSPC);
    ApplyOutcome outcome = ApplyPlan(plan, false);
    bool fired = faults.fired();
    faults.Arm(0);
    Folder now = Snapshot(setup_);
    EXPECT_TRUE(ListDir(temp.path()).empty());
    for (const auto& [name, bytes] : before) EXPECT_EQ(now.count(name), 1u) << name;
    for (const auto& [name, bytes] : now) {
      bool whole = (before.count(name) && before.at(name) == bytes) || (after.count(name) && after.at(name) == bytes);
      EXPECT_TRUE(whole) << name;
    }
    if (now["txtsetup.sif"] != before.at("txtsetup.sif")) {
      EXPECT_EQ(now["txtsetup.sif.orig"], before.at("txtsetup.sif"));
    }
    if (outcome.failure == ApplyFailure::kNone) {
      EXPECT_EQ(now, after);
    }
    for (const auto& file : outcome.files) {
      if (file.written) {
        EXPECT_EQ(now[file.name], after.at(file.name)) << file.name;
      } else if (before.count(file.name)) {
        EXPECT_EQ(now[file.name], before.at(file.name)) << file.name;
      } else {
        EXPECT_EQ(now.count(file.name), 0u) << file.name;
      }
    }
    if (!fired) break;
    failed += outcome.failure != ApplyFailure::kNone;
  }
  EXPECT_GT(failed, 20u);
  if (tmpdirBefore.empty()) unsetenv("TMPDIR");
  else setenv("TMPDIR", tmpdirBefore.c_str(), 1);
}

// txtsetup.sif changed by someone else while the plan is carried out: in
// the runs, nothing is written; after the first driver file, nothing more.
const char* gChangeWhenRenamedTo = nullptr;
std::string gSetupToChange;
int RenameAndChange(const char* from, const char* to) {
  int rc = o2s::DefaultPosixCalls().rename(from, to);
  std::string target = to;
  if (gChangeWhenRenamedTo && target.size() >= strlen(gChangeWhenRenamedTo) &&
      target.compare(target.size() - strlen(gChangeWhenRenamedTo), std::string::npos, gChangeWhenRenamedTo) == 0) {
    gChangeWhenRenamedTo = nullptr;
    WriteFile(gSetupToChange, "[SCSI]\r\nsomeone = \"else\"\r\n");
  }
  return rc;
}

TEST_F(EngineApply, SetupFileChangedMeanwhileStopsTheWrites) {
  Driver d = MakeDriver(root_ / "drv", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  const Folder before = Snapshot(setup_);
  gSetupToChange = setup_ + "/txtsetup.sif";
  o2s::LivePosixCalls().rename = RenameAndChange;
  gChangeWhenRenamedTo = "./txtsetup.sif";  // a write of the run
  ApplyOutcome inRun = ApplyPlan(Plan({RunOf(d)}), false);
  Folder afterRun = Snapshot(setup_);
  for (const std::string& name : ListDir(setup_)) DeleteFile(setup_ + "/" + name);
  for (const auto& [name, bytes] : before) WriteFile(setup_ + "/" + name, bytes);
  gChangeWhenRenamedTo = ".sys";  // the first write into the folder
  ApplyOutcome inWrites = ApplyPlan(Plan({RunOf(d)}), false);
  o2s::LivePosixCalls().rename = o2s::DefaultPosixCalls().rename;

  EXPECT_EQ(inRun.failure, ApplyFailure::kSetupFileChanged);
  EXPECT_EQ(afterRun.size(), 1u);
  EXPECT_EQ(inWrites.failure, ApplyFailure::kSetupFileChanged);
  EXPECT_EQ(std::count_if(inWrites.files.begin(), inWrites.files.end(), [](const auto& f) { return f.written; }), 1);
  EXPECT_EQ(ListDir(setup_).size(), 2u);
  EXPECT_FALSE(FileExists(setup_ + "/txtsetup.sif.orig"));
  EXPECT_EQ(ReadFile(setup_ + "/txtsetup.sif"), "[SCSI]\r\nsomeone = \"else\"\r\n");
}

// Sources that leave the driver folder, names setup would read as another
// file, FIFOs, links to outside and huge files: refused with the failure
// that names them, nothing written, nothing waited on.
TEST_F(EngineApply, HostileFilesAreRefusedAndNothingIsWritten) {
  ScratchDir outside;
  WriteFile(outside / "x.sys", "outside");
  Driver d = MakeDriver(root_ / "drv", "kvm-guest-drivers-windows__viostor_txtsetup.oem");
  mkfifo((d.folder + "/fifo.sys").c_str(), 0644);
  symlink((outside / "x.sys").c_str(), (d.folder + "/link.sys").c_str());
  symlink(outside.path().c_str(), (d.folder + "/i386").c_str());
  WriteFile(d.folder + "/huge.sys", "");
  ASSERT_EQ(truncate((d.folder + "/huge.sys").c_str(), 3LL << 30), 0);
  struct Case {
    std::string source, name;
    ApplyFailure failure;
  };
  const Case cases[] = {
      {"../drv/viostor.sys", "viostor.sys", ApplyFailure::kUnsafeName},
      {"sub/../../x.sys", "x.sys", ApplyFailure::kUnsafeName},
      {outside / "x.sys", "x.sys", ApplyFailure::kUnsafeName},
      {"C:\\x.sys", "x.sys", ApplyFailure::kUnsafeName},
      {"viostor.sys", "../viostor.sys", ApplyFailure::kUnsafeName},
      {"viostor.sys", "txtsetup.sif", ApplyFailure::kUnsafeName},
      {"viostor.sys", "nul.sys", ApplyFailure::kUnsafeName},
      {"fifo.sys", "fifo.sys", ApplyFailure::kNotRegularFile},
      {"link.sys", "link.sys", ApplyFailure::kNotRegularFile},
      {"i386/x.sys", "x.sys", ApplyFailure::kNotRegularFile},
      {"gone.sys", "gone.sys", ApplyFailure::kDriverFileMissing},
      {"huge.sys", "huge.sys", ApplyFailure::kFileTooBig},
  };
  const Folder before = Snapshot(setup_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " as " + c.name);
    DriverRun run = RunOf(d);
    run.files.push_back({c.source, c.name});
    ApplyOutcome outcome = ApplyPlan(Plan({run}), false);
    EXPECT_EQ(outcome.failure, c.failure) << outcome.subject;
    EXPECT_EQ(Snapshot(setup_), before);
  }
  EXPECT_EQ(ReadFile(outside / "x.sys"), "outside");
  DriverRun climbing = RunOf(d);
  climbing.oemFile = "../drv/" + d.oemName;
  EXPECT_EQ(ApplyPlan(Plan({climbing}), false).failure, ApplyFailure::kUnsafeName);

  // In the setup folder: a huge file of a brought name is other bytes,
  // left alone unread; a FIFO for dosnet.inf; a huge txtsetup.sif.
  WriteFile(setup_ + "/viostor.sys", "");
  ASSERT_EQ(truncate((setup_ + "/viostor.sys").c_str(), 3LL << 30), 0);
  ApplyOutcome huge = ApplyPlan(Plan({RunOf(d)}), false);
  ASSERT_EQ(huge.failure, ApplyFailure::kNone) << huge.subject;
  EXPECT_EQ(huge.files[0].name, "viostor.sys");
  EXPECT_EQ(huge.files[0].action, FileAction::kConflict);
  struct stat st;
  ASSERT_EQ(stat((setup_ + "/viostor.sys").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 3LL << 30);
  for (const std::string& name : ListDir(setup_)) DeleteFile(setup_ + "/" + name);
  for (const auto& [name, bytes] : before) WriteFile(setup_ + "/" + name, bytes);

  mkfifo((setup_ + "/dosnet.inf").c_str(), 0644);
  EXPECT_EQ(ApplyPlan(Plan({RunOf(d)}), false).failure, ApplyFailure::kNotRegularFile);
  DeleteFile(setup_ + "/dosnet.inf");
  ASSERT_EQ(truncate((setup_ + "/txtsetup.sif").c_str(), 3LL << 30), 0);
  EXPECT_EQ(ApplyPlan(Plan({RunOf(d)}), false).failure, ApplyFailure::kFileTooBig);
  DeleteFile(setup_ + "/txtsetup.sif");
  EXPECT_EQ(ApplyPlan(Plan({RunOf(d)}), false).failure, ApplyFailure::kSetupFileMissing);
  EXPECT_TRUE(ListDir(setup_).empty());
}

}  // namespace
}  // namespace o2s_test
