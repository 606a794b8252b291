// The whole tool as a process in a scratch folder: bytes on standard input,
// standard output compared byte for byte, the files compared afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

const std::string kMenu =
    "Windows2000用の変更:1\nWindowsXP用の変更:2\n何もせずに終了:Enter\n処理を選択してください: ";
const std::string kChose2000 = "Windows2000が選択されました。\n";
const std::string kChoseXp = "WindowsXPが選択されました。\n";
const std::string kQuit = "終了します。\n";
const std::string kPressEnter = "Enterを押すと終了します。";
const std::string kWriting = "\n書き込み中\n";
const std::string kWriteProtected = "ERROR! ファイルが書き込み禁止になっている可能性があります。\n";
const char kValue2000[] = "1,,,,,,3_,4,1";
const char kValueXp[] = "1,,,,,,4_,4,1,,,1,4";

std::string Sjis(const std::string& utf8) { return Utf8ToCp932(utf8); }

// EXPECT_CONSOLE(out, text): the tool printed ConsoleText(text). A failure
// shows both decoded from code page 932 to UTF-8, then as bytes.
::testing::AssertionResult IsConsoleText(const char* outExpression, const char* textExpression,
                                         const std::string& out, const std::string& text) {
  const std::string expected = ConsoleText(text);
  if (out == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << outExpression << " is not the console text " << textExpression << "\n--- printed:\n"
         << Cp932ToUtf8(out) << "\n--- expected:\n" << Cp932ToUtf8(expected) << "\n--- printed, bytes: "
         << ::testing::PrintToString(out) << "\n--- expected, bytes: " << ::testing::PrintToString(expected);
}
#define EXPECT_CONSOLE(out, text) EXPECT_PRED_FORMAT2(IsConsoleText, out, text)

// A setup file laid out section by section, CR LF, ending with 0x1A.
struct Sections {
  std::vector<std::pair<std::string, std::vector<std::string>>> list;
  Sections& Add(const std::string& section, const std::string& line) {
    for (auto& s : list) {
      if (s.first == section) {
        s.second.push_back(line);
        return *this;
      }
    }
    list.push_back({section, {line}});
    return *this;
  }
  std::string Render(bool endMarker = true) const {
    std::string out;
    for (const auto& s : list) {
      if (!out.empty()) out += "\r\n";
      out += "[" + s.first + "]\r\n";
      for (const std::string& line : s.second) out += line + "\r\n";
    }
    return endMarker ? out + "\x1a" : out;
  }
};

Sections BaseSetup() {
  Sections s;
  s.Add("SCSI", "old = \"Old Adapter\"")
      .Add("SCSI.Load", "old = old.sys,4")
      .Add("SourceDisksFiles", "old.sys = 1,,,,,,3_,4,1")
      .Add("HardwareIdsDatabase", "PCI\\VEN_OLD = \"old\"");
  return s;
}

// What one written option adds to a setup file.
void AddOption(Sections* s, const std::string& service, const std::string& description,
               const std::string& driver, const std::vector<std::string>& ids, const char* value) {
  s->Add("SCSI", service + " = \"" + description + "\"");
  s->Add("SCSI.Load", service + " = " + driver + ",4");
  s->Add("SourceDisksFiles", driver + " = " + value);
  for (const std::string& id : ids) s->Add("HardwareIdsDatabase", id + " = \"" + service + "\"");
}

std::string OemOption(const std::string& key, const std::string& driver,
                      const std::vector<std::pair<std::string, std::string>>& ids) {
  std::string text = "\r\n[Files.scsi." + key + "]\r\ndriver = d1, " + driver + ", " + key + "\r\n";
  text += "\r\n[HardwareIds.scsi." + key + "]\r\n";
  for (const auto& id : ids) text += "id = \"" + id.first + "\", \"" + id.second + "\"\r\n";
  return text;
}

class Tool : public ::testing::Test {
 protected:
  void Put(const std::string& name, const std::string& bytes) { WriteFile(dir_ / name, bytes); }
  std::string Get(const std::string& name) { return ReadFile(dir_ / name); }
  bool Has(const std::string& name) { return FileExists(dir_ / name); }
  ProcessResult Run(const std::string& input, const std::vector<std::string>& args = {},
                    const std::string& user = "") {
    return RunProcess(ToolPath(), dir_.path(), input, args, user);
  }
  std::vector<std::string> Files() { return ListDir(dir_.path()); }

  // One option "viostor" with one id.
  void PutSimpleOem(const std::string& name = "txtsetup.oem") {
    Put(name, "[Disks]\r\nd1 = \"Disk\",\\disk1,\\\r\n\r\n[scsi]\r\nWNET32 = \"VirtIO Disk\"\r\n" +
                  OemOption("WNET32", "viostor.sys", {{"PCI\\VEN_1AF4&DEV_1001", "viostor"}}));
  }
  std::string SimpleOutput(const std::string& chose) {
    return Sjis(kMenu + chose + "VirtIO Disk" + kWriting + "\n" + kPressEnter);
  }
  std::string SimpleSetup(const char* value) {
    Sections s = BaseSetup();
    AddOption(&s, "viostor", "VirtIO Disk", "viostor.sys", {"PCI\\VEN_1AF4&DEV_1001"}, value);
    return s.Render();
  }

  ScratchDir dir_;
};

TEST_F(Tool, LeavesAtTheMenuWithoutTouchingAnything) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  const std::vector<std::string> before = Files();
  for (const char* input : {"", "\n", "\r\n", "3\n", "x\n", "0", " 1\n"}) {
    SCOPED_TRACE(std::string("input: ") + input);
    ProcessResult r = Run(input);
    EXPECT_CONSOLE(r.out, Sjis(kMenu + kQuit));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(Get("txtsetup.sif"), BaseSetup().Render());
  }
}

TEST_F(Tool, ChoiceOneWritesForWindows2000) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, SimpleOutput(kChose2000));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValue2000));
  EXPECT_EQ(Get("txtsetup.sif.orig"), BaseSetup().Render());
  EXPECT_EQ(Files(), (std::vector<std::string>{"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"}));
}

TEST_F(Tool, ChoiceTwoWithCrLfAndArgumentsWritesForWindowsXp) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("2\r\n\r\n", {"1", "--help", "txtsetup.sif"});
  EXPECT_CONSOLE(r.out, SimpleOutput(kChoseXp));
  EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValueXp));
}

TEST_F(Tool, TypingTwelveEndsWithoutWaiting) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("12\n");  // the 2 is discarded, the line feed ends the run
  EXPECT_CONSOLE(r.out, SimpleOutput(kChose2000));
  EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValue2000));
}

TEST_F(Tool, SecondRunKeepsTheBackupAndReplacesInPlace) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  Run("1\n\n");
  ProcessResult r = Run("2\n\n");
  EXPECT_CONSOLE(r.out, SimpleOutput(kChoseXp));
  EXPECT_EQ(Get("txtsetup.sif.orig"), BaseSetup().Render());
  EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValueXp));  // one marker, not two
}

TEST_F(Tool, BackupRotationOutcomes) {
  PutSimpleOem();
  const std::string older = "[SCSI]\r\nfirst = \"First run\"\r\n";
  const std::string current = BaseSetup().Render();
  struct Row {
    const char* name;
    bool sif, orig, temp;
    std::string sifAfter, origAfter;
  } rows[] = {
      // sif only: it becomes the backup, a copy of it is written to
      {"sif only", true, false, false, SimpleSetup(kValue2000), current},
      // both: the backup stays, the file is written to
      {"both", true, true, false, SimpleSetup(kValue2000), older},
      // a left-over copy stands in for a missing file
      {"temp only", false, false, true, SimpleSetup(kValue2000), ""},
      // both and a stale copy: the copy is dropped
      {"both and temp", true, true, true, SimpleSetup(kValue2000), older},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const char* name : {"txtsetup.sif", "txtsetup.sif.orig", "txtsetup.sif.temp"}) unlink((dir_ / name).c_str());
    if (row.sif) Put("txtsetup.sif", current);
    if (row.orig) Put("txtsetup.sif.orig", older);
    if (row.temp) Put("txtsetup.sif.temp", row.sif ? "stale" : current);
    Run("1\n\n");
    EXPECT_EQ(Get("txtsetup.sif"), row.sifAfter);
    EXPECT_EQ(Has("txtsetup.sif.orig"), !row.origAfter.empty());
    EXPECT_EQ(Get("txtsetup.sif.orig"), row.origAfter);
    EXPECT_FALSE(Has("txtsetup.sif.temp"));
  }
}

// Named as on a CD or a driver disk, the files are found as on Windows, and
// the run leaves what a lowercase run leaves, not a second setup file.
TEST_F(Tool, FindsTheFilesInAnyLetterCase) {
  for (auto names : {std::make_pair("TXTSETUP.OEM", "TXTSETUP.SIF"), std::make_pair("TxtSetup.oem", "txtsetup.SIF")}) {
    for (const std::string& name : Files()) unlink((dir_ / name).c_str());
    PutSimpleOem(names.first);
    Put(names.second, BaseSetup().Render());
    EXPECT_CONSOLE(Run("1\n\n").out, SimpleOutput(kChose2000)) << names.first;
    EXPECT_EQ(Files(), (std::vector<std::string>{names.first, "txtsetup.sif", "txtsetup.sif.orig"}));
    EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValue2000));
    EXPECT_EQ(Get("txtsetup.sif.orig"), BaseSetup().Render());
  }
}

// Temporary files of a killed run (of its writes and of its backup copy) go
// with the next run, also one that finds every entry in place.
TEST_F(Tool, NextRunClearsTemporaryFilesOfKilledRuns) {
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  Run("1\n\n");
  std::string written = Get("txtsetup.sif");
  Put("txtsetup.sif", written.substr(0, written.size() - 1));  // no end marker: no write changes it
  const std::string dead = ".o2s-4194305-1-abc.tmp";  // above any pid Linux or Windows gives
  Put("txtsetup.sif" + dead, "half");
  Put("txtsetup.sif.temp" + dead, "half");
  Run("1\n\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"}));
  EXPECT_EQ(Get("txtsetup.sif"), SimpleSetup(kValue2000));
}

TEST_F(Tool, WithoutAnySetupFileTheAppendCreatesOne) {
  PutSimpleOem();
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, SimpleOutput(kChose2000));
  Sections s;
  AddOption(&s, "viostor", "VirtIO Disk", "viostor.sys", {"PCI\\VEN_1AF4&DEV_1001"}, kValue2000);
  EXPECT_EQ(Get("txtsetup.sif"), s.Render());
  EXPECT_FALSE(Has("txtsetup.sif.orig"));
}

TEST_F(Tool, WithoutOemFileOnlyTheBackupIsMade) {
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("2\n\n");
  EXPECT_CONSOLE(r.out, Sjis(kMenu + kChoseXp + kPressEnter));
  EXPECT_EQ(Get("txtsetup.sif"), BaseSetup().Render());
  EXPECT_EQ(Get("txtsetup.sif.orig"), BaseSetup().Render());
}

TEST_F(Tool, ProgressDotsAndServiceMismatch) {
  auto ids = [](int count, const std::string& prefix) {
    std::vector<std::pair<std::string, std::string>> list;
    for (int i = 0; i < count; ++i) list.push_back({prefix + std::to_string(100 + i), "svc" + prefix});
    return list;
  };
  std::string oem = "[scsi]\r\nnine = \"Nine\"\r\nten = \"Ten\"\r\ntwentyfive = \"TwentyFive\"\r\nmixed = \"Mixed\"\r\n";
  oem += OemOption("nine", "a.sys", ids(9, "a"));
  oem += OemOption("ten", "b.sys", ids(10, "b"));
  oem += OemOption("twentyfive", "c.sys", ids(25, "c"));
  oem += OemOption("mixed", "d.sys", {{"X1", "Alpha"}, {"X2", "beta"}, {"X3", "ALPHA"}});
  Put("txtsetup.oem", oem);
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, Sjis(kMenu + kChose2000 + "Nine" + kWriting + "\n" + "Ten" + kWriting + ".\n" +
                             "TwentyFive" + kWriting + "..\n" + "Mixed" + kWriting +
                             "\nERROR! HardwareIds.scsi.mixedのService名に異なるものが含まれています。\n"
                             "一番上:alpha 不一致:beta\n正常に動作しない可能性があります。\n"
                             "\n" + kPressEnter));
  std::string sif = Get("txtsetup.sif");
  for (const char* line : {"X1 = \"alpha\"\r\n", "X2 = \"alpha\"\r\n", "X3 = \"alpha\"\r\n",
                           "c124 = \"svcc\"\r\n", "alpha = \"Mixed\"\r\n"}) {
    EXPECT_NE(sif.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(sif.back(), '\x1a');
  EXPECT_EQ(sif.find('\x1a'), sif.size() - 1);
}

TEST_F(Tool, EveryReaderMessageAndTheRefusals) {
  std::string oem =
      "[scsi]\r\n"
      "nodriver = \"No driver\"\r\n"
      "badfiles = \"Bad files\"\r\n"
      "noservice = \"No service\"\r\n"
      "badids = \"Bad ids\"\r\n"
      "good = \"Good\"\r\n"
      "[Files.scsi.nodriver]\r\ndriver = d1\r\n"
      "[HardwareIds.scsi.nodriver]\r\nid = a, b\r\n"
      "[Files.scsi.badfiles]\r\ndriver = ,\r\n"
      "[Files.scsi.noservice]\r\ndriver = d1, ns.sys\r\n"
      "[HardwareIds.scsi.noservice]\r\nid = \"PCI\\VEN_1\"\r\n"
      "[Files.scsi.badids]\r\ndriver = d1, bi.sys\r\n"
      "[HardwareIds.scsi.badids]\r\nid = \",\"\r\n"
      "[Files.scsi.good]\r\ndriver = d1, good.sys\r\n"
      "[HardwareIds.scsi.good]\r\nid = PCI\\VEN_G, good\r\n";
  Put("txtsetup.oem", oem);
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("2\n\n");
  EXPECT_CONSOLE(r.out, Sjis(kMenu + kChoseXp +
                             "ERROR! files.scsi.nodriverでドライバーが見つかりません。\n"
                             "ERROR! nodriverのドライバーがないので処理をしません。\n"
                             "ERROR! files.scsi.badfilesにフォーマットエラーがあります。\n"
                             "ERROR! HardwareIds.scsi.badfilesに有効なidキーがありません。\n"
                             "ERROR! badfilesのドライバーがないので処理をしません。\n"
                             "ERROR! HardwareIds.scsi.noserviceでServiceが見つかりません。\n"
                             "ERROR! HardwareIds.scsi.noserviceに有効なidキーがありません。\n"
                             "ERROR! noserviceのHardwareIDに異常があるので処理をしません。\n"
                             "ERROR! HardwareIds.scsi.badidsにフォーマットエラーがあります。\n"
                             "ERROR! HardwareIds.scsi.badidsに有効なidキーがありません。\n"
                             "ERROR! badidsのHardwareIDに異常があるので処理をしません。\n"
                             "Good" + kWriting + "\n" + kPressEnter));
  Sections s = BaseSetup();
  AddOption(&s, "good", "Good", "good.sys", {"PCI\\VEN_G"}, kValueXp);
  EXPECT_EQ(Get("txtsetup.sif"), s.Render());  // refused options add no marker
}

TEST_F(Tool, OverlongTextsAreRefusedOrCutSafely) {
  const std::string longKey(83, 'k');     // "hardwareids.scsi." + 83 > 99 bytes
  const std::string maxKey(82, 'm');
  const std::string longService(98, 's');
  // 60 two-byte characters: the quoted value keeps 48 of them (96 bytes).
  std::string longDescription;
  for (int i = 0; i < 60; ++i) longDescription += "\x93\xfa";
  std::string oem = "[scsi]\r\n" + longKey + " = \"Long key\"\r\n" + maxKey + " = \"" + longDescription +
                    "\"\r\nsvc = \"Long service\"\r\n";
  oem += OemOption(longKey, "l.sys", {{"L1", "l"}});
  oem += OemOption(maxKey, "m.sys", {{"M1", "m"}});
  oem += OemOption("svc", "s.sys", {{"S1", longService}});
  Put("txtsetup.oem", oem);
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, Sjis(kMenu + kChose2000 + "ERROR! " + longKey + "のキーが長すぎるので処理をしません。\n") +
                            longDescription + Sjis(kWriting + "\n" +
                            "ERROR! HardwareIds.scsi.svcのService名が長すぎるので処理をしません。\n" + kPressEnter));
  Sections s = BaseSetup();
  AddOption(&s, "m", longDescription.substr(0, 96), "m.sys", {"M1"}, kValue2000);
  EXPECT_EQ(Get("txtsetup.sif"), s.Render());
}

TEST_F(Tool, ShiftJisTextPassesThroughUnchanged) {
  // ﾄﾞﾗｲﾊﾞ and 能 (whose second byte is a backslash) in the description.
  const std::string description = "\xc4\xde\xd7\xb2\xca\xde \x94\x5c";
  Put("txtsetup.oem", "[scsi]\r\nopt = \"" + description + "\"\r\n" + OemOption("opt", "o.sys", {{"ID\\1", "o"}}));
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, Sjis(kMenu + kChose2000) + description + Sjis(kWriting + "\n" + kPressEnter));
  Sections s = BaseSetup();
  AddOption(&s, "o", description, "o.sys", {"ID\\1"}, kValue2000);
  EXPECT_EQ(Get("txtsetup.sif"), s.Render());
}

TEST_F(Tool, MoreThanFortyOptionsWritesTheFirstForty) {
  std::string list = "[scsi]\r\n";
  std::string sections;
  for (int i = 0; i < 45; ++i) {
    std::string key = "opt" + std::to_string(i);
    list += key + " = \"Option " + std::to_string(i) + "\"\r\n";
    sections += OemOption(key, key + ".sys", {{"ID" + std::to_string(i), key}});
  }
  Put("txtsetup.oem", list + sections);
  Put("txtsetup.sif", BaseSetup().Render());
  ProcessResult r = Run("1\n\n");
  std::string sif = Get("txtsetup.sif");
  EXPECT_NE(sif.find("opt39 = \"Option 39\""), std::string::npos);
  EXPECT_EQ(sif.find("opt40"), std::string::npos);
  EXPECT_EQ(Cp932ToUtf8(r.out).find("Option 40"), std::string::npos);
  EXPECT_NE(Cp932ToUtf8(r.out).find("Option 39"), std::string::npos);
}

// Both ways a file can be write-protected: no write permission bit at all
// (Windows' read-only attribute, which binds root too), and a file that
// belongs to another user.
TEST_F(Tool, WriteProtectedSetupFileIsReportedAndLeftAlone) {
  PutSimpleOem();
  const std::string expected = SimpleOutput(kChose2000);
  const std::string withMessage =
      expected.substr(0, expected.size() - Sjis(kPressEnter).size()) + Sjis(kWriteProtected + kPressEnter);

  Put("txtsetup.sif", BaseSetup().Render());
  Put("txtsetup.sif.orig", "backup");
  chmod((dir_ / "txtsetup.sif").c_str(), 0444);
  ProcessResult r = Run("1\n\n");
  EXPECT_CONSOLE(r.out, withMessage);
  EXPECT_EQ(Get("txtsetup.sif"), BaseSetup().Render());
  EXPECT_EQ(Files(), (std::vector<std::string>{"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"}));

  if (geteuid() != 0 || ToolIsWindowsExe()) GTEST_SKIP() << "running as another user needs root (and Linux)";
  chmod((dir_ / "txtsetup.sif").c_str(), 0644);
  ScratchDir reachable;  // for nobody's copy of the tool: the build may lie under /root
  WriteFile(reachable / "oem2sif", ReadFile(ToolPath()));
  chmod((reachable / "oem2sif").c_str(), 0755);
  r = RunProcess(reachable / "oem2sif", dir_.path(), "1\n\n", {}, "nobody");
  EXPECT_CONSOLE(r.out, withMessage);
  EXPECT_EQ(Get("txtsetup.sif"), BaseSetup().Render());
  EXPECT_EQ(Files(), (std::vector<std::string>{"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"}));
}

// On a terminal the text is shown in the terminal's charset; the terminal
// itself turns each line feed into CR LF.
TEST_F(Tool, TerminalShowsTextInItsCharset) {
  if (ToolIsWindowsExe()) GTEST_SKIP() << "the Windows console is not a terminal";
  PutSimpleOem();
  Put("txtsetup.sif", BaseSetup().Render());
  auto crlf = [](std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) text.insert(at, "\r");
    return text;
  };
  ProcessResult r = RunOnTerminal(ToolPath(), dir_.path(), "2\n\n", "C.UTF-8");
  EXPECT_EQ(r.out, (crlf(kMenu + kChoseXp + "VirtIO Disk" + kWriting + "\n" + kPressEnter)));

  r = RunOnTerminal(ToolPath(), dir_.path(), "\n", "C");
  EXPECT_EQ(r.out, (crlf("Windows2000????:1\nWindowsXP????:2\n???????:Enter\n???????????: ??????\n")));
}

}  // namespace
}  // namespace o2s_test
