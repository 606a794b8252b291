// oem2sif-integrate as a process on a terminal: the plan it prints, in the
// user's language and the terminal's charset, its exit codes, its usage
// errors and what it does with folders and files that are not what they
// should be. Nothing it refuses writes anything.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "check/pe_image.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

class IntegrateCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    XpSetupFile xp;
    xp.lines = 400;
    Put(root_, "xp/TXTSETUP.SIF", GenerateXpSetupFile(xp));
    Put(root_, "drv/txtsetup.oem", kVirtioOem);
    Put(root_, "drv/i386/win2003/viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
    Put(root_, "drv/amd64/Win2003/VIOSTOR.SY_", MakeCabinet("viostor.sys", MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe"})));
  }

  ProcessResult Run(const std::vector<std::string>& args, const std::string& lang = "C.UTF-8") {
    return RunOnTerminal(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", lang, args);
  }

  // Every regular file below the root with its bytes.
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.path())) {
      if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
    }
    return files;
  }

  ScratchDir root_;
};

// A terminal shows each line feed as CR LF.
std::string OnTerminal(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

TEST_F(IntegrateCommand, ADryRunPrintsThePlanInTheUsersLanguageAndWritesNothing) {
  auto before = Files();
  ProcessResult english = Run({"xp", "drv", "--dry-run"});
  EXPECT_EQ(english.status, 0);
  EXPECT_EQ(english.out, OnTerminal(
      "Setup folder: xp (TXTSETUP.SIF)\n"
      "  A setup source for x86, from [SetupData] Architecture.\n"
      "  Windows XP (5.1): the runs' answer is 2 (Windows XP).\n"
      "Driver 1: drv (txtsetup.oem)\n"
      "  [x] WNET32: Red Hat VirtIO SCSI Disk Device Win2003/32-bit\n"
      "      file: i386/win2003/viostor.sys\n"
      "      built for: x86\n"
      "      names: Windows Server 2003\n"
      "      ticked: for Windows Server 2003: no option of this driver names Windows XP, and this one is the nearest\n"
      "      GUI-mode setup: the option names no INF, so setup will find no driver for its device (a STOP 0x7B on "
      "the first boot, or \"Found New Hardware\"). Install the driver after setup, or use a package that ships its INF.\n"
      "  [ ] WNET64: Red Hat VirtIO SCSI Disk Device Win2003/64-bit\n"
      "      file: amd64/Win2003/VIOSTOR.SY_\n"
      "      built for: x64\n"
      "      names: Windows Server 2003\n"
      "      not ticked: not for this x86 setup source (tick it with --option)\n"
      "Driver files:\n"
      "  viostor.sys: brought from drv/i386/win2003/viostor.sys\n"
      "Runs:\n"
      "  drv: WNET32\n"
      "Dry run: nothing written.\n"));
  ProcessResult japanese = Run({"xp", "drv", "--dry-run"}, "ja_JP.UTF-8");
  EXPECT_EQ(japanese.status, 0);
  EXPECT_EQ(japanese.out, OnTerminal(
      "セットアップフォルダー: xp (TXTSETUP.SIF)\n"
      "  x86 用のセットアップ ([SetupData] の Architecture から判断)。\n"
      "  Windows XP (5.1): 実行の答えは 2 (Windows XP) です。\n"
      "ドライバー 1: drv (txtsetup.oem)\n"
      "  [x] WNET32: Red Hat VirtIO SCSI Disk Device Win2003/32-bit\n"
      "      ファイル: i386/win2003/viostor.sys\n"
      "      対象: x86\n"
      "      対象の Windows: Windows Server 2003\n"
      "      チェック: Windows Server 2003 用: このドライバーには Windows XP 用のオプションがなく、これがいちばん近いものです\n"
      "      GUI モードのセットアップ: このオプションは INF を指定していないため、セットアップはこのデバイスのドライバーを"
      "見つけられません (最初の起動で STOP 0x7B、または「新しいハードウェアが見つかりました」)。セットアップの後でドライバーを"
      "インストールするか、INF の入ったパッケージを使ってください。\n"
      "  [ ] WNET64: Red Hat VirtIO SCSI Disk Device Win2003/64-bit\n"
      "      ファイル: amd64/Win2003/VIOSTOR.SY_\n"
      "      対象: x64\n"
      "      対象の Windows: Windows Server 2003\n"
      "      チェックなし: この x86 用のセットアップには使えません (--option で指定したときだけ組み込みます)\n"
      "ドライバーファイル:\n"
      "  viostor.sys: drv/i386/win2003/viostor.sys から入れます\n"
      "実行:\n"
      "  drv: WNET32\n"
      "計画だけです。何も書いていません。\n"));
  EXPECT_EQ(Files(), before);
}

// Run again on a folder integrated before, with other drivers: the plan
// tells what the earlier run wrote that these write otherwise.
TEST_F(IntegrateCommand, ThePlanTellsWhatAnEarlierRunWroteThatTheseDriversWriteOtherwise) {
  auto oem = [](const std::string& file, const std::string& service) {
    return "[Disks]\r\nd1 = \"Disk\",\\disk.tag,\\\r\n[Defaults]\r\nscsi = K\r\n[scsi]\r\nK = \"Storage\"\r\n"
           "[Files.scsi.K]\r\ndriver = d1, " + file + ", " + service + "\r\n"
           "[HardwareIds.scsi.K]\r\nid = \"PCI\\VEN_1AF4&DEV_1001\", \"" + service + "\"\r\n[Config.K]\r\n";
  };
  Put(root_, "same/txtsetup.oem", oem("vstor.sys", "viostor"));
  Put(root_, "same/vstor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
  Put(root_, "remap/txtsetup.oem", oem("remap.sys", "remap"));
  Put(root_, "remap/remap.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
  std::string first = Run({"xp", "remap", "--dry-run"}).out;
  EXPECT_EQ(first.find("Conflicts:"), std::string::npos) << first;
  ASSERT_NE(Run({"xp", "drv"}).status, 2);
  ProcessResult again = Run({"xp", "same", "--dry-run"});
  EXPECT_NE(again.out.find(OnTerminal(
      "Conflicts:\n"
      "  same writes the service viostor, which an earlier run wrote into txtsetup.sif with another driver file. "
      "Run so, the entries of same replace it.\n")), std::string::npos) << again.out;
  ProcessResult remap = Run({"xp", "remap", "--dry-run"}, "ja_JP.UTF-8");
  EXPECT_NE(remap.out.find(OnTerminal(
      "  remap は、以前の実行が別のサービスに割り当てたハードウェア ID を割り当てます: PCI\\VEN_1AF4&DEV_1001 "
      "(viostor → remap)。このまま実行すると、remap の割り当てに置き換わります。\n")), std::string::npos) << remap.out;
  EXPECT_EQ(Run({"xp", "drv", "--dry-run"}).out.find("Conflicts:"), std::string::npos) << "the same driver again";
}

// A package that ships its INF: the plan says which INF installs the
// device in GUI-mode setup and what is brought for it, and the files land.
TEST_F(IntegrateCommand, ThePlanSaysWhatGuiModeSetupInstallsTheDeviceFrom) {
  Put(root_, "drv/txtsetup.oem", VirtioOemWithInf());
  Put(root_, "drv/i386/win2003/viostor.inf",
      MakeStorageInf("viostor", {"PCI\\VEN_1AF4&DEV_1001"}, "viostor.cat", {"viostor.sys"}, {"vioco.dll"}));
  Put(root_, "drv/i386/win2003/viostor.cat", "catalog");
  Put(root_, "drv/i386/win2003/vioco.dll", "co-installer");
  ProcessResult english = Run({"xp", "drv", "--dry-run"});
  EXPECT_EQ(english.status, 0);
  EXPECT_NE(english.out.find(OnTerminal(
      "      ticked: for Windows Server 2003: no option of this driver names Windows XP, and this one is the nearest\n"
      "      GUI-mode setup: viostor.inf installs its device\n"
      "      GUI-mode setup: viodll.dll is not in the driver folder: not brought\n"
      "  [ ] WNET64")), std::string::npos) << english.out;
  EXPECT_NE(english.out.find(OnTerminal(
      "Files for GUI-mode setup:\n"
      "  viostor.inf: brought from drv/i386/win2003/viostor.inf; txtsetup.sif gets viostor.inf = 1,,,,,,,20,0,0\n"
      "  viostor.cat: brought from drv/i386/win2003/viostor.cat; txtsetup.sif gets viostor.cat = 1,,,,,,,20,0,0\n"
      "  vioco.dll: brought from drv/i386/win2003/vioco.dll (GUI-mode setup copies it, as viostor.inf says)\n"
      "Runs:\n")), std::string::npos) << english.out;
  ProcessResult japanese = Run({"xp", "drv", "--dry-run"}, "ja_JP.UTF-8");
  EXPECT_NE(japanese.out.find(OnTerminal("      GUI モードのセットアップ: viostor.inf がこのデバイスをインストールします\n")),
            std::string::npos) << japanese.out;

  Put(root_, "xp/ntoskrnl.exe", "the kernel the driver imports");
  ProcessResult written = Run({"xp", "drv"});
  EXPECT_EQ(written.status, 0) << written.out;
  for (const char* name : {"viostor.inf", "viostor.cat", "vioco.dll"}) {
    EXPECT_EQ(ReadFile(root_ / ("xp/" + std::string(name))), ReadFile(root_ / ("drv/i386/win2003/" + std::string(name))));
  }
  EXPECT_FALSE(FileExists(root_ / "xp/viodll.dll"));
}

TEST_F(IntegrateCommand, OptionTicksExactlyTheOptionsNamedForThatDriver) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"xp", "drv", "--option", "drv:WNET64", "--dry-run"},
                                               std::vector<std::string>{"--dry-run", "xp", "drv", "--option", "1:wnet64"}}) {
    ProcessResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("  [ ] WNET32: Red Hat VirtIO SCSI Disk Device Win2003/32-bit\r\n"
                         "      file: i386/win2003/viostor.sys\r\n"
                         "      built for: x86\r\n"
                         "      names: Windows Server 2003\r\n"
                         "      not ticked: --option names other options of this driver\r\n"
                         "  [x] WNET64"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("      ticked: named by --option\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  VIOSTOR.SY_: brought from drv/amd64/Win2003/VIOSTOR.SY_\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Runs:\r\n  drv: WNET64\r\n"), std::string::npos) << r.out;
  }
}

TEST_F(IntegrateCommand, UsageErrorsSayWhatIsWrongExitTwoAndWriteNothing) {
  auto before = Files();
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "ERROR! Give the setup folder and at least one driver folder.\r\nUsage: oem2sif-integrate"},
      {{"xp"}, "ERROR! Give the setup folder"},
      {{"xp", "drv", "--windows", "98"}, "ERROR! --windows takes 2000 or xp, not 98.\r\n"},
      {{"xp", "drv", "--windows"}, "ERROR! --windows needs a value.\r\n"},
      {{"xp", "drv", "--bogus"}, "ERROR! Unknown argument: --bogus\r\n"},
      {{"xp", "drv", "--option", "drv"}, "ERROR! --option takes DRIVER:KEY, not drv.\r\n"},
      {{"xp", "drv", "--option", "drv:NOPE"}, "ERROR! --option drv:NOPE: the [scsi] section of drv has no option NOPE.\r\n"},
      {{"xp", "drv", "--option", "drv:../WNET32"}, "has no option ../WNET32.\r\n"},
      {{"xp", "drv", "--option", "../drv:WNET32"}, "ERROR! --option ../drv:WNET32: no driver folder ../drv was given.\r\n"},
      {{"xp", "drv", "--option", "2:WNET32"}, "ERROR! --option 2:WNET32: no driver folder 2 was given.\r\n"},
      {{"xp", "drv", "--option", "0:WNET32"}, "no driver folder 0 was given"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
  ProcessResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: oem2sif-integrate SETUP_FOLDER DRIVER_FOLDER...", 0), 0u) << help.out;
  EXPECT_EQ(Files(), before);
}

TEST_F(IntegrateCommand, FoldersAndFilesThatAreNotWhatTheyShouldBeAreRefusedWithExitTwo) {
  Put(root_, "plain", "a file, not a folder");
  Put(root_, "pipe/x", "");
  mkfifo((root_ / "pipe/txtsetup.oem").c_str(), 0600);
  Put(root_, "big/txtsetup.oem", "[scsi]\r\n" + std::string(2 << 20, ';'));
  auto before = Files();
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"nowhere", "drv"}, "ERROR! nowhere has no txtsetup.sif.\r\n"},
      {{"plain", "drv"}, "ERROR! plain has no txtsetup.sif.\r\n"},
      {{"xp", "nowhere"}, "ERROR! nowhere has no txtsetup.oem.\r\n"},
      {{"xp", "plain"}, "ERROR! plain has no txtsetup.oem.\r\n"},
      {{"xp", "pipe"}, "ERROR! pipe: txtsetup.oem is no plain file"},
      {{"xp", "drv", "big"}, "ERROR! big: txtsetup.oem is too big"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
  EXPECT_EQ(Files(), before);
}

TEST_F(IntegrateCommand, ADiskFolderLeadingOutsideTheDriverFolderIsNeverLookedInto) {
  Put(root_, "etc/viostor.sys", "outside");
  std::string oem = kVirtioOem;
  oem.replace(oem.find("\\i386\\Win2003"), 13, "..\\..\\etc");
  Put(root_, "a/drv/txtsetup.oem", oem);
  ProcessResult r = Run({"xp", "a/drv", "--dry-run"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("      file: viostor.sys: not beside txtsetup.oem\r\n"
                       "      its disk names the folder ../../etc, which leads outside the driver's folder: not looked into\r\n"),
            std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("etc/viostor.sys"), std::string::npos) << r.out;
}

TEST_F(IntegrateCommand, AnUnknownVersionNeedsWindowsAndNothingTickedWritesNothing) {
  XpSetupFile xp;
  xp.lines = 400;
  xp.majorVersion = 0;
  Put(root_, "xp/TXTSETUP.SIF", GenerateXpSetupFile(xp));
  ProcessResult unknown = Run({"xp", "drv", "--dry-run"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("give --windows 2000 or --windows xp"), std::string::npos) << unknown.out;
  ProcessResult given = Run({"xp", "drv", "--dry-run", "--windows", "XP"});
  EXPECT_EQ(given.status, 0) << given.out;
  EXPECT_NE(given.out.find("  --windows: the runs' answer is 2 (Windows XP).\r\n"), std::string::npos) << given.out;
  // Options without hardware ids: the tool skips them, nothing can be ticked.
  std::string noIds = kVirtioOem;
  noIds.replace(noIds.find("id = \"PCI"), 1, ";");
  noIds.replace(noIds.find("id = \"PCI"), 1, ";");
  Put(root_, "drv/txtsetup.oem", noIds);
  auto before = Files();
  ProcessResult none = Run({"xp", "drv", "--windows", "2000"});
  EXPECT_EQ(none.status, 3) << none.out;
  EXPECT_NE(none.out.find("      never: no hardware ids, the tool skips this option\r\n"), std::string::npos) << none.out;
  EXPECT_NE(none.out.find("No option is ticked: nothing to write.\r\n"), std::string::npos) << none.out;
  EXPECT_EQ(Run({"xp", "drv", "--windows", "2000", "--dry-run"}).status, 0);
  EXPECT_EQ(Files(), before);
}

TEST_F(IntegrateCommand, AWriteThatIsRefusedExitsThreeAndOneThatLandsIsChecked) {
  auto before = Files();
  ProcessResult r = Run({"xp", "drv"});
  if (r.status == 3) {
    // The writer refused (or failed before writing): it says why.
    EXPECT_NE(r.out.find("ERROR! "), std::string::npos) << r.out;
    EXPECT_EQ(Files(), before);
    return;
  }
  EXPECT_LE(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Written:\r\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("The check of the setup folder:\r\n"), std::string::npos) << r.out;
  EXPECT_TRUE(FileExists(root_ / "xp/viostor.sys"));
  EXPECT_NE(ReadFile(root_ / "xp/TXTSETUP.SIF"), before[root_ / "xp/TXTSETUP.SIF"]);
}

}  // namespace
}  // namespace o2s_test
