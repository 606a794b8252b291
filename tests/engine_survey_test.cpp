// The survey of an integration: where each option's driver file is, what
// it is built for, which options are ticked and why, what would write over
// what, and which files go into the setup folder. The cases are the page's
// (web/test/options.test.mjs, plan.test.mjs), on folders laid out as users
// have them, with generated setup files and minimal PE images.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "check/pe_image.h"
#include "engine/apply.h"
#include "engine/messages.h"
#include "engine/survey.h"
#include "oem/driver_description.h"
#include "platform/platform.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using namespace o2s::engine;

// An option of a generated txtsetup.oem: its disk names `directory`
// (backslashes, as vendors write it; "\" the folder of txtsetup.oem).
struct Opt {
  std::string key;
  std::string description;
  std::string file;  // "" none
  std::string directory;
  std::vector<std::string> ids;
  std::string service;
};

std::string MakeOem(const std::vector<Opt>& options) {
  std::string out = "[Disks]\r\n";
  for (size_t i = 0; i < options.size(); ++i) {
    out += "d" + std::to_string(i) + " = \"Disk " + std::to_string(i) + "\",\\disk" + std::to_string(i) + "," +
           options[i].directory + "\r\n";
  }
  out += "\r\n[Defaults]\r\nscsi = " + options[0].key + "\r\n\r\n[scsi]\r\n";
  for (const Opt& o : options) out += o.key + " = \"" + o.description + "\"\r\n";
  for (size_t i = 0; i < options.size(); ++i) {
    const Opt& o = options[i];
    out += "\r\n[Files.scsi." + o.key + "]\r\n";
    if (!o.file.empty()) out += "driver = d" + std::to_string(i) + ", " + o.file + ", " + o.key + "\r\n";
    out += "\r\n[HardwareIds.scsi." + o.key + "]\r\n";
    for (const std::string& id : o.ids) out += "id = \"" + id + "\", \"" + o.service + "\"\r\n";
    out += "\r\n[Config." + o.key + "]\r\nvalue = \"\", Tag, REG_DWORD, 1\r\n";
  }
  return out;
}

Opt Viostor(const std::string& key, const std::string& file, const std::string& directory) {
  return {key, "VirtIO " + key, file, directory, {"PCI\\VEN_1AF4&DEV_1001"}, "viostor"};
}

XpSetupFile SetupOf(const std::string& architecture, unsigned major, unsigned minor) {
  XpSetupFile xp;
  xp.lines = 400;
  xp.architecture = architecture;
  xp.majorVersion = major;
  xp.minorVersion = minor;
  return xp;
}

// A setup folder "xp" (as users name their copies) in `root`, and the
// survey of the driver folders below `root`.
Survey SurveyOf(const ScratchDir& root, const std::vector<std::string>& drivers, const XpSetupFile& xp = SetupOf("i386", 5, 1),
                const std::map<unsigned, std::map<unsigned, bool>>& ticks = {}) {
  if (!FileExists(root / "xp/TXTSETUP.SIF")) Put(root, "xp/TXTSETUP.SIF", GenerateXpSetupFile(xp));
  SurveyInput input;
  input.setupFolder = root / "xp";
  input.setupFolderName = "xp";
  for (const std::string& d : drivers) input.driverFolders.push_back(root / d);
  input.ticks = ticks;
  return SurveyIntegration(input);
}

std::vector<std::string> Ticked(const DriverSurvey& driver) {
  std::vector<std::string> keys;
  for (const OptionRow& row : driver.rows) {
    if (row.ticked) keys.push_back(row.option.key);
  }
  return keys;
}

std::string Kept(const DriverSurvey& driver) {
  bool all;
  std::vector<unsigned> kept = KeptOptions(driver.rows, &all);
  if (all) return "all";
  std::string out;
  for (unsigned k : kept) out += (out.empty() ? "" : " ") + std::to_string(k);
  return out;
}

OptionInfo DriverOption(const std::string& file, const std::string& directory) {
  OptionInfo option;
  option.hasDriverFile = true;
  option.driverFile = file;
  FileLine line{FileLineKind::kDriver, "d1", file, true, directory, RefusedName::kNone};
  option.files.push_back(line);
  return option;
}

const std::string kX86 = MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"});
const std::string kX64 = MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe"});

// virtio's layout: its x86 build in I386\win2003 (another letter case than
// its [Disks] entry), its x64 build compressed, a copy beside txtsetup.oem.
void LayOutVirtio(const ScratchDir& root) {
  Put(root, "virtio/I386/win2003/viostor.sys", kX86);
  Put(root, "virtio/amd64/Win2003/VIOSTOR.SY_", MakeCabinet("viostor.sys", kX64));
  Put(root, "virtio/viostor.sys", kX86);
  Put(root, "virtio/x64/empty.sys", "");
  Put(root, "virtio/odd.sys", "not a driver, just text");
}

TEST(SurveySource, FolderOfItsDiskInAnyCaseCompressedTooBesideOnlyWhereNotThere) {
  ScratchDir root;
  LayOutVirtio(root);
  auto where = [&](const std::string& file, const std::string& directory) {
    FoundFile f = FindOptionSource(root / "virtio", DriverOption(file, directory));
    return f.found ? f.path + (f.beside ? " beside" : "") : std::string("-");
  };
  EXPECT_EQ(where("viostor.sys", "i386/Win2003"), "I386/win2003/viostor.sys");
  EXPECT_EQ(where("viostor.sys", "amd64/Win2003"), "amd64/Win2003/VIOSTOR.SY_");
  EXPECT_EQ(where("viostor.sys", "ia64"), "viostor.sys beside");
  EXPECT_EQ(where("empty.sys", "x64"), "-") << "an empty file is not there";
  EXPECT_EQ(where("odd.sys", ""), "odd.sys") << "the folder of txtsetup.oem is its own, not beside";
  std::vector<unsigned> machines;
  for (const char* folder : {"I386", "amd64/Win2003", "WINXPA64", "x64", "win_xp", "ia64"}) machines.push_back(MachineOfFolder(folder));
  EXPECT_EQ(machines, (std::vector<unsigned>{o2s::kMachineX86, o2s::kMachineX64, o2s::kMachineX64, o2s::kMachineX64, 0,
                                             o2s::kMachineIa64}));
}

TEST(SurveySource, NeverLooksOutsideTheDriverFolder) {
  ScratchDir root;
  Put(root, "etc/viostor.sys", kX86);  // what ..\..\etc would reach
  Put(root, "a/b/drv/viostor.sys", kX86);
  symlink((root / "etc").c_str(), (root / "a/b/drv/out").c_str());
  for (const char* directory : {"../../../etc", "out", "C:/etc", "i386/../../../etc"}) {
    FoundFile f = FindOptionSource(root / "a/b/drv", DriverOption("viostor.sys", directory));
    EXPECT_TRUE(f.directoryRefused) << directory;
    EXPECT_TRUE(f.found && f.beside && f.path == "viostor.sys") << directory << ": the copy beside txtsetup.oem stands in";
  }
  FoundFile named = FindOptionSource(root / "a/b", DriverOption("../../etc/viostor.sys", ""));
  EXPECT_FALSE(named.found) << "a driver file named as a path is never looked for";
}

// virtio's txtsetup.oem with four options: its x86 and x64 builds, a file
// that is no driver, an empty one.
const std::vector<Opt> kFourOptions = {Viostor("k0", "viostor.sys", "\\i386\\Win2003"),
                                       Viostor("k1", "viostor.sys", "\\amd64\\Win2003"), Viostor("k2", "odd.sys", "\\"),
                                       Viostor("k3", "empty.sys", "\\x64")};

std::string Built(const OptionRow& row) {
  static const char* const kHow[] = {"read", "guessed", "absent", "unknown"};
  static const char* const kProblem[] = {"-", "empty", "notDriver", "notChecked"};
  return std::to_string(row.built.machine) + " " + kHow[static_cast<int>(row.built.how)] + " " +
         kProblem[static_cast<int>(row.built.problem)] + " " + (row.ticked ? "ticked" : "not");
}

TEST(SurveyTicks, OptionsForAnotherMachineAreNotTickedUnlessTheUserTicksThem) {
  ScratchDir root;
  LayOutVirtio(root);
  Put(root, "virtio/txtsetup.oem", MakeOem(kFourOptions));
  Survey survey = SurveyOf(root, {"virtio"}, SetupOf("i386", 0, 0));
  ASSERT_EQ(survey.drivers[0].rows.size(), 4u);
  std::vector<std::string> built;
  for (const OptionRow& row : survey.drivers[0].rows) built.push_back(Built(row));
  EXPECT_EQ(built, (std::vector<std::string>{"332 read - ticked", "34404 read - not", "0 unknown notDriver ticked",
                                             "34404 absent - not"}));
  EXPECT_EQ(Kept(survey.drivers[0]), "0 2");
  EXPECT_EQ(survey.drivers[0].rows[1].reason, TickReason::kOtherMachine);
  EXPECT_EQ(Kept(SurveyOf(root, {"virtio"}, SetupOf("i386", 0, 0), {{0, {{1, true}}}}).drivers[0]), "0 1 2");
  // The setup source not known yet: all.
  std::vector<OptionInfo> options;
  std::vector<FoundFile> found;
  std::vector<int> machines;
  for (const OptionRow& row : survey.drivers[0].rows) {
    options.push_back(row.option);
    found.push_back(row.found);
    machines.push_back(row.built.how == MachineHow::kRead ? static_cast<int>(row.built.machine) : 0);
  }
  DriverSurvey unknown;
  unknown.rows = OptionRows(options, found, machines, nullptr, nullptr);
  EXPECT_EQ(Kept(unknown), "all");
}

TEST(SurveyTicks, AFileBesideIsNotTickedForAnOptionWhoseFolderNamesAnotherMachine) {
  // Picked one by one: virtio's txtsetup.oem and its x86 viostor.sys.
  ScratchDir root;
  std::vector<Opt> options = {Viostor("k0", "viostor.sys", "\\i386\\Win2003"), Viostor("k1", "viostor.sys", "\\amd64\\Win2003"),
                              Viostor("k2", "viostor.sys", "\\Win2003")};
  Put(root, "one/txtsetup.oem", MakeOem(options));
  Put(root, "one/viostor.sys", kX86);
  Survey survey = SurveyOf(root, {"one"});
  std::vector<std::string> rows;
  for (const OptionRow& r : survey.drivers[0].rows) {
    rows.push_back(std::string(r.found.beside ? "beside " : "") + Built(r) + (r.fits ? " fits" : ""));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"beside 332 read - ticked fits", "beside 332 read - not",
                                            "beside 332 read - ticked fits"}));
  Put(root, "one/viostor.sys", kX64);
  EXPECT_TRUE(Ticked(SurveyOf(root, {"one"}).drivers[0]).empty()) << "an x64 file beside: none";
}

TEST(SurveyTicks, WhatADriverFileIsBuiltForIsGuessedFromItsFolderOnlyWhereItWasReadAndHoldsNoMachine) {
  struct Case {
    bool present;
    int read;
    const char* directory;
    MachineHow how;
    unsigned machine;
  } cases[] = {
      {true, static_cast<int>(o2s::kMachineX86), "amd64", MachineHow::kRead, o2s::kMachineX86},
      {true, 0, "amd64", MachineHow::kGuessed, o2s::kMachineX64},
      {true, -4, "amd64", MachineHow::kGuessed, o2s::kMachineX64},
      {true, 0, "drivers", MachineHow::kUnknown, 0},
      {false, 0, "amd64", MachineHow::kAbsent, o2s::kMachineX64},
      {false, 0, "disk1", MachineHow::kAbsent, 0},
  };
  for (const Case& c : cases) {
    FoundFile found;
    found.found = c.present;
    found.hasDirectory = true;
    found.directory = c.directory;
    BuiltFor built = MachineOf(found, c.present, c.read);
    EXPECT_EQ(built.how, c.how) << c.present << " " << c.read << " " << c.directory;
    EXPECT_EQ(built.machine, c.machine) << c.present << " " << c.read << " " << c.directory;
  }
  EXPECT_EQ(MachineOf(FoundFile(), true, -1).problem, FileProblem::kEmpty);
  EXPECT_EQ(MachineOf(FoundFile(), true, -2).problem, FileProblem::kNotChecked);
}

// The options of a corpus file as the tool reads them.
std::vector<OptionInfo> CorpusOptions(const std::string& file) {
  static o2s::DriverDescription driver;
  static o2s::OptionDescription option;
  std::string path = CorpusDir() + "/" + file;
  o2s::ReadDriverDescription(path.c_str(), &driver);
  std::vector<OptionInfo> options;
  for (unsigned i = 0; i < driver.optionCount; ++i) {
    if (o2s::ReadOptionDescription(path.c_str(), driver, i, &option)) options.push_back(OptionInfoOf(option));
  }
  return options;
}

std::string DriverDirectory(const OptionInfo& option) {
  for (const FileLine& line : option.files) {
    if (line.kind == FileLineKind::kDriver) return line.directory;
  }
  return "";
}

std::map<std::string, std::string> Named(const std::string& file) {
  std::map<std::string, std::string> named;
  for (const OptionInfo& o : CorpusOptions(file)) {
    std::string versions;
    for (unsigned v : VersionsNamed(o.description, DriverDirectory(o))) versions += (versions.empty() ? "" : " ") + std::to_string(v);
    named[o.key] = versions;
  }
  return named;
}

TEST(SurveyVersions, TheWindowsVersionsVendorsWriteInTheirOptionsFoldersAndDescriptions) {
  using Map = std::map<std::string, std::string>;
  EXPECT_EQ(Named("DP_MassStorage__ULi_Allx86_TXTSETUP.OEM"),
            (Map{{"m5281XP", "51 52"}, {"m5228XP", "51 52"}, {"m52812K", "50"}, {"m52282K", "50"}, {"m5281NT", "40"},
                 {"m5228NT", "40"}, {"m5281XPA64", "51 52"}, {"m5228XPA64", "51 52"}}));
  EXPECT_EQ(Named("DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM"),
            (Map{{"hpt3xx2K", "50"}, {"hpt3xxXP", "51 52"}, {"hpt3xxNT", "40"}, {"hpt3xx4NT", "40"}, {"hpt3xx6NT", "40"}}));
  EXPECT_EQ(Named("DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem"), (Map{{"Si3112r_XP", "51 52 60"}, {"Si3112r_2k", "50"}}));
  EXPECT_EQ(Named("kvm-guest-drivers-windows__viostor_txtsetup.oem"),
            (Map{{"WNET32", "52"}, {"WNET64", "52"}, {"WNET32_SCSI", "52"}, {"WNET64_SCSI", "52"}}));
  EXPECT_EQ(Named("DP_MassStorage__Adaptec_5x86_320R_TXTSETUP.OEM"), (Map{{"ADAPTEC_U320RAID_W2K", "50 51 52"}}));
  EXPECT_EQ(Named("DP_MassStorage__LSI_FORCED_5x86_MegaSR_15.00.0811.2012_txtsetup.oem"), (Map{{"MegaSR", "51 52"}}));
  // "Express", "ICH10", "32 bit", "amd64 platform", "x64": no version.
  for (const char* file : {"DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM", "DP_MassStorage__Broadcom_NTx86_txtsetup.oem",
                           "DP_MassStorage__AEC_FORCED_671x_AllXP_TXTSETUP.OEM", "DP_MassStorage__Marvell_Allx86_91_txtsetup.oem",
                           "GenAHCI__txtsetup.oem"}) {
    for (const auto& [key, versions] : Named(file)) EXPECT_EQ(versions, "") << file << " " << key;
  }
  struct Spelled {
    const char* text;
    std::set<unsigned> versions;
  } spelled[] = {{"w2k", {kW2000}}, {"Win2K3", {kW2003}}, {"srv03", {kW2003}}, {"WinXP64", {kXp}}, {"NT4", {kNt4}},
                 {"Windows 7", {kVista}}, {"Server 2008 R2", {kVista}}, {"PCI Express", {}}, {"ICH10R", {}},
                 {"ver 2.0003", {}}, {"(c) 2012", {}}};
  for (const Spelled& s : spelled) EXPECT_EQ(VersionsNamed(s.text, ""), s.versions) << s.text;
  // A description as long as the tool reads ends.
  EXPECT_EQ(VersionsNamed(std::string(4000, 'x') + " xp", ""), (std::set<unsigned>{kXp}));
}

TEST(SurveyVersions, TheSetupSourcesVersionAndItsAnswerInTheToolsMenu) {
  struct Case {
    unsigned major, minor, version, answer;
  } cases[] = {{5, 0, kW2000, 1}, {5, 1, kXp, 2}, {5, 2, kW2003, 2}, {0, 0, 0, 0}, {6, 0, 0, 0}, {5, 9, 0, 0}};
  for (const Case& c : cases) {
    o2s::SetupIdentity identity{o2s::kMachineX86, o2s::kMachineFromSetupData, c.major, c.minor};
    EXPECT_EQ(SetupVersion(identity), c.version) << c.major << "." << c.minor;
    EXPECT_EQ(AnswerOfVersion(SetupVersion(identity)), c.answer) << c.major << "." << c.minor;
  }
}

// A corpus driver laid out as it ships, each driver file where its disk
// says, holding no PE image: the folder names decide what they are built for.
void LayOutCorpus(const ScratchDir& root, const std::string& folder, const std::string& file) {
  Put(root, folder + "/txtsetup.oem", ReadFile(CorpusDir() + "/" + file));
  for (const OptionInfo& o : CorpusOptions(file)) {
    for (const FileLine& line : o.files) {
      if (line.kind == FileLineKind::kDriver) Put(root, folder + "/" + (line.directory.empty() ? "" : line.directory + "/") + line.name, std::string(100, 'x'));
    }
  }
}

const char kUli[] = "DP_MassStorage__ULi_Allx86_TXTSETUP.OEM";

TEST(SurveyTicks, OptionsTickedByDefaultFitTheSetupSourcesMachineAndVersion) {
  const char* dawi = "DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM";
  const char* virtio = "kvm-guest-drivers-windows__viostor_txtsetup_2010.oem";
  const char* sii = "DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem";
  using Keys = std::vector<std::string>;
  struct Case {
    const char* file;
    XpSetupFile setup;
    Keys ticked;
  } cases[] = {
      {kUli, SetupOf("i386", 5, 1), {"m5281XP", "m5228XP"}},
      {kUli, SetupOf("i386", 5, 0), {"m52812K", "m52282K"}},
      {kUli, SetupOf("i386", 5, 2), {"m5281XP", "m5228XP"}},
      {kUli, SetupOf("amd64", 5, 2), {"m5281XP", "m5228XP", "m5281XPA64", "m5228XPA64"}},  // win_xp names no machine
      {kUli, SetupOf("i386", 0, 0), {"m5281XP", "m5228XP", "m52812K", "m52282K"}},  // the version unknown: never NT 4.0
      {dawi, SetupOf("i386", 5, 1), {"hpt3xxXP"}},
      {dawi, SetupOf("i386", 5, 0), {"hpt3xx2K"}},
      {virtio, SetupOf("i386", 5, 1), {"WNET32"}},  // no option for XP: Server 2003's is the nearest
      {virtio, SetupOf("amd64", 5, 2), {"WNET64"}},
      {sii, SetupOf("i386", 5, 1), {"Si3112r_XP"}},
      {sii, SetupOf("i386", 5, 0), {}},  // its 2000 option has no hardware ids: the tool skips it
  };
  for (const Case& c : cases) {
    ScratchDir root;
    LayOutCorpus(root, "drv", c.file);
    Survey survey = SurveyOf(root, {"drv"}, c.setup);
    EXPECT_EQ(Ticked(survey.drivers[0]), c.ticked) << c.file << " in " << c.setup.architecture << " " << c.setup.majorVersion << "."
                                                   << c.setup.minorVersion;
  }
  ScratchDir root;
  LayOutCorpus(root, "drv", kUli);
  std::map<std::string, VersionFit> fits;
  Survey uli = SurveyOf(root, {"drv"});
  for (const OptionRow& row : uli.drivers[0].rows) fits[row.option.key] = row.versionFit;
  EXPECT_EQ(fits, (std::map<std::string, VersionFit>{{"m5281XP", VersionFit::kSame}, {"m5228XP", VersionFit::kSame},
                                                     {"m52812K", VersionFit::kOther}, {"m52282K", VersionFit::kOther},
                                                     {"m5281NT", VersionFit::kNt4}, {"m5228NT", VersionFit::kNt4},
                                                     {"m5281XPA64", VersionFit::kSame}, {"m5228XPA64", VersionFit::kSame}}));
  ScratchDir other;
  LayOutCorpus(other, "drv", virtio);
  Survey virtioSurvey = SurveyOf(other, {"drv"});
  const OptionRow& wnet32 = virtioSurvey.drivers[0].rows[0];
  EXPECT_EQ(wnet32.versionFit, VersionFit::kNearest);
  EXPECT_EQ(wnet32.reason, TickReason::kNearest);
  // NT 4.0's options (no hardware ids: the tool skips them) cannot be
  // ticked; the user's tick of a 2000 option holds.
  Survey user = SurveyOf(root, {"drv"}, SetupOf("i386", 5, 1), {{0, {{2, true}, {4, true}}}});
  EXPECT_EQ(Ticked(user.drivers[0]), (Keys{"m5281XP", "m5228XP", "m52812K"}));
  Keys untickable;
  for (const OptionRow& row : user.drivers[0].rows) {
    if (!row.tickable) untickable.push_back(row.option.key + (row.skipped == Skipped::kNoIds ? " noIds" : " ?"));
  }
  EXPECT_EQ(untickable, (Keys{"m5281NT noIds", "m5228NT noIds"}));
  EXPECT_EQ(Kept(user.drivers[0]), "0 1 2");
  EXPECT_EQ(user.drivers[0].rows[2].reason, TickReason::kUserTicked);
  EXPECT_EQ(user.drivers[0].rows[3].reason, TickReason::kOtherVersion);
  EXPECT_EQ(user.drivers[0].rows[4].reason, TickReason::kSkipped);
}

std::vector<std::string> OptionConflicts(const Survey& survey) {
  std::vector<std::string> out;
  for (const OptionConflict& c : survey.optionConflicts) {
    const auto& rows = survey.drivers[c.driver].rows;
    out.push_back(c.what + ": " + rows[c.earlier].option.key + " < " + rows[c.later].option.key);
  }
  return out;
}

TEST(SurveyConflicts, TwoTickedOptionsThatWriteOneServiceFromTwoFolders) {
  ScratchDir root;
  LayOutVirtio(root);
  Put(root, "virtio/txtsetup.oem", MakeOem({Viostor("k0", "viostor.sys", "\\i386\\Win2003"), Viostor("k1", "viostor.sys", "\\amd64\\Win2003"),
                                           Viostor("k2", "viostor.sys", "\\i386\\Win2003")}));
  Survey survey = SurveyOf(root, {"virtio"}, SetupOf("i386", 5, 1), {{0, {{0, true}, {1, true}, {2, true}}}});
  EXPECT_EQ(OptionConflicts(survey), (std::vector<std::string>{"viostor: k0 < k1", "viostor: k1 < k2"}));
}

TEST(SurveyConflicts, BeforeTheRunTwoOptionsOrTwoDriversThatWriteOneServiceAndWhichWouldStand) {
  ScratchDir root;
  LayOutCorpus(root, "drv", kUli);
  LayOutCorpus(root, "drv2", kUli);
  Survey ticked = SurveyOf(root, {"drv"}, SetupOf("i386", 5, 1), {{0, {{2, true}, {3, true}}}});
  EXPECT_EQ(OptionConflicts(ticked), (std::vector<std::string>{"m5281: m5281XP < m52812K", "m5228: m5228XP < m52282K"}));
  EXPECT_TRUE(SurveyOf(root, {"drv"}).optionConflicts.empty()) << "the default ticks write each service once";
  Survey across = SurveyOf(root, {"drv", "drv2"});
  ASSERT_EQ(across.driverConflicts.size(), 1u);
  EXPECT_EQ(across.driverConflicts[0].services, (std::vector<std::string>{"m5281", "m5228"}));
  EXPECT_TRUE(across.driverConflicts[0].ids.empty());
  EXPECT_TRUE(SurveyOf(root, {"drv", "drv/"}).driverConflicts.empty()) << "one driver given twice is no conflict with itself";
}

TEST(SurveyConflicts, WhichDriversWarnAndWhoseEntriesStay) {
  ScratchDir root;
  struct Driver {
    const char* folder;
    Opt option;
  } drivers[] = {
      {"intel/8.9.8", {"a", "a", "iastor.sys", "\\", {"PCI\\VEN_8086&DEV_1"}, "iastor"}},
      {"intel/11.2", {"b", "b", "iaStor.sys", "\\", {"PCI\\VEN_8086&DEV_1"}, "iastor"}},
      {"uli", {"c", "c", "m5281.sys", "\\", {"pci\\ven_8086&dev_1"}, "m5281"}},
      {"other", {"d", "d", "other.sys", "\\", {"PCI\\VEN_9"}, "other"}},
  };
  std::vector<std::string> folders;
  for (const Driver& d : drivers) {
    Put(root, std::string(d.folder) + "/txtsetup.oem", MakeOem({d.option}));
    folders.push_back(d.folder);
  }
  Survey survey = SurveyOf(root, folders);
  std::vector<std::string> warned;
  for (const DriverConflict& c : survey.driverConflicts) {
    std::string line = folders[c.earlier] + " " + folders[c.later];
    for (const std::string& s : c.services) line += " service " + s;
    for (const Remapped& r : c.ids) line += " id " + r.id + " (" + r.from + " > " + r.to + ")";
    warned.push_back(line);
  }
  EXPECT_EQ(warned, (std::vector<std::string>{"intel/8.9.8 intel/11.2 service iastor",
                                              "intel/8.9.8 uli id pci\\ven_8086&dev_1 (iastor > m5281)",
                                              "intel/11.2 uli id pci\\ven_8086&dev_1 (iastor > m5281)"}));
  std::vector<std::string> stay;
  for (const PlannedDriver& p : survey.planned) stay.push_back(p.service + " " + folders[p.driver]);
  EXPECT_EQ(stay, (std::vector<std::string>{"iastor intel/11.2", "m5281 uli", "other other"}));
}

// A folder integrated before ("Run again" with other drivers, or the
// command run twice): what the earlier run wrote is what txtsetup.sif holds
// beyond its backup, and a later driver that writes it otherwise is told.
TEST(SurveyConflicts, WhatAnEarlierRunWroteThatALaterDriverWritesOtherwise) {
  ScratchDir root;
  struct Driver {
    const char* folder;
    Opt option;
  } drivers[] = {
      {"intel/8.9.8", {"a", "a", "iastor.sys", "\\", {"PCI\\VEN_8086&DEV_1"}, "iastor"}},
      {"intel/11.2", {"b", "b", "iaStor.sys", "\\", {"PCI\\VEN_8086&DEV_1"}, "iastor"}},
      {"nvidia", {"c", "c", "nvstor.sys", "\\", {"PCI\\VEN_10DE&DEV_1"}, "iastor"}},
      {"other", {"d", "d", "other.sys", "\\", {"pci\\ven_8086&dev_1", "PCI\\VEN_9"}, "other"}},
      // Windows' own service and id (the generated file's atapi and first
      // id): its backup has them, so no earlier run wrote them.
      {"own", {"e", "e", "myatapi.sys", "\\", {"PCI\\VEN_1000&DEV_0000"}, "atapi"}},
  };
  for (const Driver& d : drivers) {
    Put(root, std::string(d.folder) + "/txtsetup.oem", MakeOem({d.option}));
    Put(root, std::string(d.folder) + "/" + d.option.file, kX86);
  }
  auto told = [&](const char* folder) {
    Survey survey = SurveyOf(root, {folder});
    std::vector<std::string> lines;
    for (const SetupConflict& c : survey.setupConflicts) {
      std::string line = std::to_string(c.driver);
      for (const std::string& s : c.services) line += " service " + s;
      for (const Remapped& r : c.ids) line += " id " + r.id + " (" + r.from + " > " + r.to + ")";
      lines.push_back(line);
    }
    return lines;
  };
  using Lines = std::vector<std::string>;
  EXPECT_EQ(told("nvidia"), Lines{}) << "no backup: no run has changed the file";
  ASSERT_EQ(ApplyPlan(MakePlan(SurveyOf(root, {"intel/8.9.8"})), false).failure, ApplyFailure::kNone);
  ASSERT_TRUE(FileExists(root / "xp/txtsetup.sif.orig"));
  EXPECT_EQ(told("intel/8.9.8"), Lines{}) << "the same driver again";
  EXPECT_EQ(told("intel/11.2"), Lines{}) << "the same entries, the file's name in another case";
  EXPECT_EQ(told("nvidia"), Lines{"0 service iastor"});
  EXPECT_EQ(told("other"), Lines{"0 id pci\\ven_8086&dev_1 (iastor > other)"});
  EXPECT_EQ(told("own"), Lines{});
  // Each driver of a set is told on its own.
  Survey survey = SurveyOf(root, {"nvidia", "other"});
  EXPECT_EQ(survey.setupConflicts.size(), 2u);
  EXPECT_EQ(survey.setupConflicts[1].driver, 1u);
}

TEST(SurveyOptions, AnOptionsServiceIsItsFirstIdsAndAnIdWrittenTwiceKeepsItsFirstSpelling) {
  ScratchDir root;
  Opt twice{"k", "k", "a.sys", "\\", {"PCI\\VEN_1AF4&DEV_1001", "PCI\\VEN_2", "pci\\ven_1af4&dev_1001"}, "viostor"};
  std::string oem = MakeOem({twice});
  // The third id names another service: the option's stays its first id's.
  oem.replace(oem.find("\"pci\\ven_1af4&dev_1001\", \"viostor\""), std::string("\"pci\\ven_1af4&dev_1001\", \"viostor\"").size(),
              "\"pci\\ven_1af4&dev_1001\", \"Other\"");
  Put(root, "d/txtsetup.oem", oem);
  Survey survey = SurveyOf(root, {"d"});
  const OptionInfo& option = survey.drivers[0].rows[0].option;
  EXPECT_EQ(option.service, "viostor");
  ASSERT_EQ(option.ids.size(), 2u);
  EXPECT_EQ(option.ids[0].id, "PCI\\VEN_1AF4&DEV_1001");
  EXPECT_EQ(option.ids[1].id, "PCI\\VEN_2");
}

// A pack of two versions of one driver and a third, beside I386.
TEST(SurveyFiles, WhereTheSetupFolderHasEachDriverFileAndWhichGoInto) {
  ScratchDir root;
  Put(root, "I386/TXTSETUP.SIF", GenerateXpSetupFile(SetupOf("i386", 5, 1)));
  Put(root, "I386/IASTOR.SYS", "older");
  Put(root, "I386/m5228.sy_", "present");
  Put(root, "p/8/iastor.sys", "v8");
  Put(root, "p/11/IASTOR.SYS", "v11");
  Put(root, "p/uli/M5228.SY_", "packed");
  Put(root, "p/uli/m5281.sys", "v1");
  auto option = [](const char* key, const char* file, const char* service, const char* id) {
    return Opt{key, key, file, "\\", {id}, service};
  };
  Put(root, "p/8/txtsetup.oem", MakeOem({option("o0", "iastor.sys", "iastor", "PCI\\VEN_1")}));
  Put(root, "p/11/txtsetup.oem", MakeOem({option("o1", "iastor.sys", "iastor", "PCI\\VEN_1")}));
  Put(root, "p/uli/txtsetup.oem", MakeOem({option("o2", "m5281.sys", "m5281", "PCI\\VEN_2"), option("o3", "m5228.sys", "m5228", "PCI\\VEN_3"),
                                         option("o4", "gone.sys", "gone", "PCI\\VEN_4")}));
  SurveyInput input;
  input.setupFolder = root / "I386";
  input.setupFolderName = "I386";
  input.driverFolders = {root / "p/8", root / "p/11", root / "p/uli"};
  Survey survey = SurveyIntegration(input);
  static const char* const kHas[] = {"present", "compressed", "empty", "absent", "unknown"};
  std::vector<std::string> files;
  for (const PlannedDriver& p : survey.planned) {
    files.push_back(p.file + " " + kHas[static_cast<int>(p.inSetup)] + (p.setupName.empty() ? "" : " as " + p.setupName) + " " +
                    (p.source.found ? p.source.path : "-") + (p.brought ? " brought" : "") + (p.missing ? " missing" : "") +
                    (p.unsure ? " unsure" : ""));
  }
  EXPECT_EQ(files, (std::vector<std::string>{"iastor.sys present as IASTOR.SYS IASTOR.SYS brought", "m5281.sys absent m5281.sys brought",
                                             "m5228.sys compressed as m5228.sy_ M5228.SY_ brought", "gone.sys absent - missing"}));
  IntegrationPlan plan = MakePlan(survey);
  EXPECT_EQ(plan.setupFile, "TXTSETUP.SIF");
  EXPECT_EQ(plan.windows, WindowsTarget::kXp);
  ASSERT_EQ(plan.runs.size(), 3u);
  EXPECT_TRUE(plan.runs[0].files.empty()) << "p/8's entries do not stay: its file is not brought";
  ASSERT_EQ(plan.runs[1].files.size(), 1u);
  EXPECT_EQ(plan.runs[1].files[0].name, "IASTOR.SYS");
  ASSERT_EQ(plan.runs[2].files.size(), 2u);
  EXPECT_EQ(plan.runs[2].files[1].source, "M5228.SY_");
  EXPECT_TRUE(plan.runs[2].allOptions);
  // An empty file is what a write cut short leaves: it is not there.
  Put(root, "I386/IASTOR.SYS", "");
  EXPECT_EQ(SetupFolderHas(root / "I386", "iastor.sys"), SetupHas::kEmpty);
  Put(root, "I386/IASTOR.SY_", "packed");
  EXPECT_EQ(SetupFolderHas(root / "I386", "iastor.sys"), SetupHas::kCompressed);
  EXPECT_EQ(SetupFolderHas(root / "I386", "none.sys"), SetupHas::kAbsent);
  std::string name = "stale";
  EXPECT_EQ(SetupFolderHas(root / "I386", "iastor.sys", &name), SetupHas::kCompressed);
  EXPECT_EQ(name, "IASTOR.SY_");
  EXPECT_EQ(SetupFolderHas(root / "I386", "none.sys", &name), SetupHas::kAbsent);
  EXPECT_EQ(name, "") << "no name where the folder has none";
  // Files picked one by one: where the setup folder has a file cannot be
  // told; a file the driver's folder lacks is unsure, never missing.
  input.setupListingKnown = false;
  Survey picked = SurveyIntegration(input);
  std::vector<std::string> unknown;
  for (const PlannedDriver& p : picked.planned) {
    unknown.push_back(p.file + " " + kHas[static_cast<int>(p.inSetup)] + (p.setupName.empty() ? "" : " as " + p.setupName) +
                      (p.missing ? " missing" : "") + (p.unsure ? " unsure" : ""));
  }
  EXPECT_EQ(unknown, (std::vector<std::string>{"iastor.sys unknown", "m5281.sys unknown", "m5228.sys unknown", "gone.sys unknown unsure"}));
}

TEST(SurveyFiles, OfTwoFilesOfOneNameTheLaterRunsIsBroughtNeverOneInTheSetupFolderItself) {
  ScratchDir root;
  Put(root, "xp/TXTSETUP.SIF", GenerateXpSetupFile(SetupOf("i386", 5, 1)));
  Put(root, "x/a.sys", "x's");
  Put(root, "y/A.SYS", "y's");
  Put(root, "x/txtsetup.oem", MakeOem({{"ka", "a", "a.sys", "\\", {"PCI\\VEN_A"}, "a1"}}));
  Put(root, "y/txtsetup.oem", MakeOem({{"kb", "b", "a.sys", "\\", {"PCI\\VEN_B"}, "a2"}}));
  // A driver in the setup folder itself: its file is there already.
  Put(root, "xp/txtsetup.oem", MakeOem({{"kc", "c", "c.sys", "\\", {"PCI\\VEN_C"}, "c"}}));
  Put(root, "xp/c.sys", "c's");
  Survey survey = SurveyOf(root, {"x", "y", "xp"});
  std::vector<std::string> brought;
  for (const PlannedDriver& p : survey.planned) brought.push_back(p.service + (p.brought ? " brought" : " not"));
  EXPECT_EQ(brought, (std::vector<std::string>{"a1 not", "a2 brought", "c not"}));
}

TEST(SurveyOptions, AnOptionNamingTheSetupsOwnFilesOrAPathIsRefusedNeverTickedNeverBrought) {
  ScratchDir root;
  Put(root, "evil/txtsetup.sif.orig", "junk1");
  Put(root, "evil/DOSNET.INF.ORIG", "junk2");
  Put(root, "evil/atapi.sys", "vendor");
  std::string oem = MakeOem({{"a", "a", "txtsetup.sif.orig", "\\", {"PCI\\VEN_1"}, "a"},
                             {"b", "b", "DOSNET.INF.ORIG", "\\", {"PCI\\VEN_2"}, "b"},
                             {"c", "c", "atapi.sys", "\\", {"PCI\\VEN_3"}, "c"},
                             {"d", "d", "..\\..\\x.sys", "\\", {"PCI\\VEN_4"}, "d"}});
  // An inf line of c that names the setup's own file refuses c too.
  Put(root, "evil/txtsetup.oem", oem);
  Survey survey = SurveyOf(root, {"evil"}, SetupOf("i386", 5, 1), {{0, {{0, true}, {1, true}, {2, true}, {3, true}}}});
  std::vector<std::string> rows;
  for (const OptionRow& r : survey.drivers[0].rows) {
    rows.push_back(r.option.key + (r.tickable ? " tickable" : " refused " + r.refusedName) + (r.ticked ? " ticked" : ""));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"a refused txtsetup.sif.orig", "b refused DOSNET.INF.ORIG", "c tickable ticked",
                                            "d refused ..\\..\\x.sys"}));
  EXPECT_EQ(survey.drivers[0].rows[0].reason, TickReason::kRefused);
  EXPECT_EQ(survey.drivers[0].rows[3].refused, RefusedName::kNotPlain);
  EXPECT_EQ(Kept(survey.drivers[0]), "2");
  ASSERT_EQ(survey.planned.size(), 1u);
  EXPECT_TRUE(survey.planned[0].brought);
  oem.replace(oem.find("[Files.scsi.c]\r\n"), 16, "[Files.scsi.c]\r\ninf = d2, dosnet.inf\r\n");
  Put(root, "evil/txtsetup.oem", oem);
  EXPECT_EQ(SurveyOf(root, {"evil"}).drivers[0].rows[2].refused, RefusedName::kSetupOwn);
}

TEST(SurveyHostile, FoldersAndFilesThatAreNoneAreRefusedWithTheirReason) {
  ScratchDir root;
  EXPECT_EQ(SurveyOf(root, {}).problem, SurveyProblem::kNone);
  SurveyInput missing;
  missing.setupFolder = root / "nowhere";
  EXPECT_EQ(SurveyIntegration(missing).problem, SurveyProblem::kNoSetupFile);
  Put(root, "fifo/x", "");
  mkfifo((root / "fifo/txtsetup.sif").c_str(), 0600);
  missing.setupFolder = root / "fifo";
  EXPECT_EQ(SurveyIntegration(missing).problem, SurveyProblem::kSetupNotRegular);
  Put(root, "huge/txtsetup.sif", std::string(5u << 20, 'x'));
  missing.setupFolder = root / "huge";
  EXPECT_EQ(SurveyIntegration(missing).problem, SurveyProblem::kSetupTooBig);
  mkfifo((root / "fifo/txtsetup.oem").c_str(), 0600);
  Put(root, "big/txtsetup.oem", "[scsi]\r\n" + std::string(kMaxOemFileSize, 'x'));
  Put(root, "file", "not a folder");
  Put(root, "garbage/txtsetup.oem", std::string("\x00\xff[scsi\x1a\r\n=\"\"\"\n[", 16) + std::string(5000, '['));
  Survey survey = SurveyOf(root, {"fifo", "big", "file", "none", "garbage"});
  std::vector<DriverProblem> problems;
  for (const DriverSurvey& d : survey.drivers) problems.push_back(d.problem);
  EXPECT_EQ(problems, (std::vector<DriverProblem>{DriverProblem::kNotRegular, DriverProblem::kTooBig, DriverProblem::kNoOemFile,
                                                  DriverProblem::kNoOemFile, DriverProblem::kNoOptions}));
  EXPECT_TRUE(MakePlan(survey).runs.empty());
}

TEST(SurveyPlan, TheAnswerIsTheSetupsVersionsUnlessGivenAndADriverWithNothingTickedDoesNotRun) {
  ScratchDir root;
  LayOutCorpus(root, "drv", kUli);
  EXPECT_EQ(MakePlan(SurveyOf(root, {"drv"}, SetupOf("i386", 5, 0))).windows, WindowsTarget::k2000);
  ScratchDir unknown;
  LayOutCorpus(unknown, "drv", kUli);
  Survey noVersion = SurveyOf(unknown, {"drv"}, SetupOf("i386", 0, 0));
  EXPECT_EQ(noVersion.windows, 0u) << "the command asks for --windows";
  SurveyInput input;
  input.setupFolder = root / "xp";
  input.driverFolders = {root / "drv"};
  input.windows = 1;
  Survey given = SurveyIntegration(input);
  EXPECT_TRUE(given.windowsGiven);
  EXPECT_EQ(MakePlan(given).windows, WindowsTarget::k2000);
  std::map<unsigned, bool> none;
  for (const OptionRow& row : given.drivers[0].rows) none[row.option.index] = false;
  input.ticks[0] = none;
  EXPECT_TRUE(MakePlan(SurveyIntegration(input)).runs.empty());
}

TEST(Messages, EveryLineInBothLanguagesWithTheSameArguments) {
  for (int i = 0; i < static_cast<int>(MessageId::kCount); ++i) {
    MessageId id = static_cast<MessageId>(i);
    std::string english = MessageText(o2s::Language::kEnglish, id);
    std::string japanese = MessageText(o2s::Language::kJapanese, id);
    EXPECT_FALSE(english.empty()) << i;
    for (char c : english) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80) << "English is ASCII: " << english;
    EXPECT_EQ(Cp932ToUtf8(japanese).find("\\x"), std::string::npos) << "code page 932: " << i;
    auto conversions = [](const std::string& text) {
      std::string out;
      for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 2)) out += text.substr(at, 2);
      return out;
    };
    EXPECT_EQ(conversions(english), conversions(japanese)) << english;
  }
  EXPECT_EQ(FormatMessage(o2s::Language::kEnglish, MessageId::kHeadingDriver, 2u, "drv", "TXTSETUP.OEM"), "Driver 2: drv (TXTSETUP.OEM)\n");
  EXPECT_EQ(Cp932ToUtf8(FormatMessage(o2s::Language::kJapanese, MessageId::kNoSetupFile, "xp")), "ERROR! xp に txtsetup.sif がありません。\n");
}

TEST(Messages, TheUsersLanguageOnPosixSystems) {
  using o2s::Language;
  EXPECT_EQ(o2s::LanguageOfLocale(nullptr, nullptr, "ja_JP.UTF-8"), Language::kJapanese);
  EXPECT_EQ(o2s::LanguageOfLocale(nullptr, nullptr, "ja_JP.eucJP"), Language::kJapanese);
  EXPECT_EQ(o2s::LanguageOfLocale(nullptr, nullptr, "C.UTF-8"), Language::kEnglish);
  EXPECT_EQ(o2s::LanguageOfLocale(nullptr, nullptr, nullptr), Language::kEnglish);
  EXPECT_EQ(o2s::LanguageOfLocale("C", nullptr, "ja_JP.UTF-8"), Language::kEnglish) << "LC_ALL first";
  EXPECT_EQ(o2s::LanguageOfLocale("", "ja_JP.UTF-8", "en_US.UTF-8"), Language::kJapanese) << "an empty one is unset";
  EXPECT_EQ(o2s::LanguageOfLocale(nullptr, "en_GB.UTF-8", "ja_JP.UTF-8"), Language::kEnglish) << "LC_MESSAGES before LANG";
}

}  // namespace
}  // namespace o2s_test
