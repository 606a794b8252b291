// The promise that a setup source is never lost: every system call of a
// whole run (the run driver after the menu: backup rotation, reading
// txtsetup.oem, profile writes, end markers) failing in turn, a full disk,
// planted symbolic links, and no needless rewrites.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/run_tool.h"
#include "tests/support/fault_table.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

// Runs the body with the current folder set to `dir`.
class InFolder {
 public:
  explicit InFolder(const std::string& dir) {
    if (getcwd(previous_, sizeof previous_) == nullptr || chdir(dir.c_str()) != 0) abort();
  }
  ~InFolder() {
    if (chdir(previous_) != 0) abort();
  }

 private:
  char previous_[PATH_MAX];
};

// A driver set of two options, and the lines a run for Windows 2000 adds.
const char kOemFile[] =
    "[scsi]\r\nfirst = \"First Controller\"\r\nsecond = \"Second Controller\"\r\n"
    "[Files.scsi.first]\r\ndriver = d1, first.sys, first\r\n"
    "[HardwareIds.scsi.first]\r\nid = \"PCI\\VEN_1&DEV_1\", \"first\"\r\nid = \"PCI\\VEN_1&DEV_2\", \"first\"\r\n"
    "[Files.scsi.second]\r\ndriver = d1, second.sys, second\r\n"
    "[HardwareIds.scsi.second]\r\nid = \"PCI\\VEN_2&DEV_1\", \"second\"\r\n"
    "id = \"PCI\\VEN_2&DEV_2\", \"second\"\r\nid = \"PCI\\VEN_2&DEV_3\", \"second\"\r\n";
const std::set<std::string> kAddedLines = {
    "first = \"First Controller\"", "first = first.sys,4", "first.sys = 1,,,,,,3_,4,1",
    "PCI\\VEN_1&DEV_1 = \"first\"", "PCI\\VEN_1&DEV_2 = \"first\"",
    "second = \"Second Controller\"", "second = second.sys,4", "second.sys = 1,,,,,,3_,4,1",
    "PCI\\VEN_2&DEV_1 = \"second\"", "PCI\\VEN_2&DEV_2 = \"second\"", "PCI\\VEN_2&DEV_3 = \"second\""};

// The real run after the menu (Windows 2000 chosen) in the current folder,
// with no cached copy of either file, as in a new process. Returns its output.
std::string RunAfterMenu() {
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, ".\\txtsetup.oem");
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, ".\\txtsetup.sif");
  ::testing::internal::CaptureStdout();
  o2s::ProcessDriverOptions(1);
  return ::testing::internal::GetCapturedStdout();
}

// Nothing of `original` is lost from `now`, and what is added is whole.
// Returns how many expected entries are missing.
size_t CheckNothingLost(const std::string& original, const std::string& now) {
  std::vector<std::string> before = SplitCrLfLines(original);
  size_t next = 0;
  std::set<std::string> found;
  for (const std::string& line : SplitCrLfLines(now)) {
    if (next < before.size() && line == before[next]) {
      ++next;
    } else if (kAddedLines.count(line)) {
      found.insert(line);
    } else {
      ADD_FAILURE() << "a line that is neither old nor whole: " << line;
    }
  }
  EXPECT_EQ(next, before.size()) << "original lines lost";
  // Anything after the last line end is end markers only.
  std::string tail = now.substr(now.rfind("\r\n") + 2);
  EXPECT_EQ(tail.find_first_not_of('\x1a'), std::string::npos) << "torn tail";
  return kAddedLines.size() - found.size();
}

// Calls that fail always, as on a file system that lacks them.
using Lacks = std::vector<std::pair<const char*, int>>;
// exFAT through FUSE; FAT through FUSE also keeps no owner and no mode.
const Lacks kNoLinks = {{"renameNoReplace", EINVAL}, {"link", EPERM}};
const Lacks kNoLinksNoModes = {{"renameNoReplace", EINVAL}, {"link", EPERM}, {"fchmod", ENOSYS}, {"fchown", ENOSYS}};

void CheckWholeRunUnderFaults(int error, const Lacks& lacks = {}) {
  const std::string original = GenerateSetupFile(300);
  ScratchDir dir;
  InFolder in(dir.path());
  FaultTable faults;
  faults.PretendFileSystemNeedsSync(true);
  for (const auto& lack : lacks) faults.FailEveryCall(lack.first, lack.second);
  for (unsigned n = 1;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    for (const std::string& name : ListDir(".")) unlink(name.c_str());
    WriteFile("txtsetup.oem", kOemFile);
    WriteFile("txtsetup.sif", original);
    faults.Arm(n, error);
    std::string printed = RunAfterMenu();
    bool fired = faults.fired();
    std::string call = faults.firedCall();
    faults.Arm(0);
    SCOPED_TRACE(call);

    ASSERT_TRUE(FileExists("txtsetup.sif"));
    size_t missing = CheckNothingLost(original, ReadFile("txtsetup.sif"));
    // One failed call costs at most the one entry it was writing; one while
    // txtsetup.oem is read leaves the run without options, printing nothing.
    EXPECT_TRUE(missing <= 1 || (printed.empty() && ReadFile("txtsetup.sif") == original)) << missing;
    if (FileExists("txtsetup.sif.orig")) {
      EXPECT_EQ(ReadFile("txtsetup.sif.orig"), original);
    }
    for (const std::string& name : ListDir(".")) {
      EXPECT_TRUE(name == "txtsetup.oem" || name == "txtsetup.sif" || name == "txtsetup.sif.orig" ||
                  (name == "txtsetup.sif.temp" && call == "unlink"))
          << "left behind: " << name;
    }
    if (missing == 1) {
      EXPECT_NE(Cp932ToUtf8(printed).find("の書き込みに失敗しました。\n"), std::string::npos) << printed;
    }
    if (!fired) {
      EXPECT_EQ(missing, 0u);
      EXPECT_TRUE(ReadFile("txtsetup.sif.orig") == original) << "no backup";
      EXPECT_GT(n, 50u);
      break;
    }
  }
}

TEST(WholeRunFaults, EveryCallCanFailAndNothingIsLost) { CheckWholeRunUnderFaults(EIO); }

TEST(WholeRunFaults, FullDiskLosesNothing) { CheckWholeRunUnderFaults(ENOSPC); }

TEST(WholeRunFaults, WithoutHardLinksOrModesNothingIsLost) {
  CheckWholeRunUnderFaults(EIO, kNoLinks);
  CheckWholeRunUnderFaults(EIO, kNoLinksNoModes);
}

// The backup rotation's outcomes where neither RENAME_NOREPLACE nor hard
// links exist; a name in other letters counts as taken.
TEST(WholeRunFaults, BackupOutcomesWithoutHardLinks) {
  using Files = std::vector<std::pair<std::string, std::string>>;  // name, bytes; sorted
  ScratchDir dir;
  InFolder in(dir.path());
  FaultTable faults;
  for (const auto& lack : kNoLinks) faults.FailEveryCall(lack.first, lack.second);
  const struct {
    Files before, after;
  } rows[] = {
      {{{"txtsetup.sif", "A"}}, {{"txtsetup.sif", "A"}, {"txtsetup.sif.orig", "A"}}},
      {{{"txtsetup.sif", "A"}, {"txtsetup.sif.orig", "B"}}, {{"txtsetup.sif", "A"}, {"txtsetup.sif.orig", "B"}}},
      {{{"TXTSETUP.SIF.ORIG", "B"}, {"txtsetup.sif", "A"}}, {{"TXTSETUP.SIF.ORIG", "B"}, {"txtsetup.sif", "A"}}},
      {{{"txtsetup.sif.temp", "A"}}, {{"txtsetup.sif", "A"}}},
      {{}, {}},
  };
  for (const auto& row : rows) {
    for (const std::string& name : ListDir(".")) unlink(name.c_str());
    for (const auto& file : row.before) WriteFile(file.first, file.second);
    RunAfterMenu();  // no txtsetup.oem: the rotation alone
    Files after;
    for (const std::string& name : ListDir(".")) after.push_back({name, ReadFile(name)});
    EXPECT_EQ(after, row.after);
  }
}

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(outside_ / "victim", "precious");
    WriteFile(dir_ / "txtsetup.oem", kOemFile);
    WriteFile(dir_ / "txtsetup.sif", original_);
  }
  void ExpectVictimUntouched() {
    EXPECT_EQ(ReadFile(outside_ / "victim"), "precious");
    EXPECT_EQ(ListDir(outside_.path()), std::vector<std::string>{"victim"});
  }
  void ExpectRunWritten() {
    EXPECT_EQ(CheckNothingLost(original_, ReadFile(dir_ / "txtsetup.sif")), 0u);
  }
  ScratchDir outside_;
  ScratchDir dir_;
  InFolder in_{dir_.path()};  // where the run runs
  const std::string original_ = GenerateSetupFile(200);
};

TEST_F(Links, TempCopyNameIsReplacedNotWrittenThrough) {
  ASSERT_EQ(symlink((outside_ / "victim").c_str(), (dir_ / "txtsetup.sif.temp").c_str()), 0);
  RunAfterMenu();
  ExpectVictimUntouched();
  ExpectRunWritten();
  EXPECT_EQ(ReadFile(dir_ / "txtsetup.sif.orig"), original_);
  EXPECT_FALSE(FileExists(dir_ / "txtsetup.sif.temp"));
}

TEST_F(Links, BackupNameIsNeverWrittenThrough) {
  for (bool dangling : {false, true}) {
    SCOPED_TRACE(dangling ? "dangling link" : "link to a file");
    std::string target = outside_ / (dangling ? "absent" : "victim");
    unlink((dir_ / "txtsetup.sif.orig").c_str());
    ASSERT_EQ(symlink(target.c_str(), (dir_ / "txtsetup.sif.orig").c_str()), 0);
    WriteFile(dir_ / "txtsetup.sif", original_);
    RunAfterMenu();
    ExpectVictimUntouched();
    ExpectRunWritten();
    struct stat st;
    ASSERT_EQ(lstat((dir_ / "txtsetup.sif.orig").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
}

TEST_F(Links, EngineTemporaryNameIsNeverWrittenThrough) {
  FaultTable faults;
  faults.PlantLinkAtFirstExclusiveCreate(outside_ / "victim");
  RunAfterMenu();
  ExpectVictimUntouched();
  ExpectRunWritten();
  size_t links = 0;
  for (const std::string& name : ListDir(dir_.path())) {
    struct stat st;
    if (lstat((dir_ / name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ++links;
  }
  EXPECT_EQ(links, 1u);  // the planted one, left alone
}

// Temporary files that a killed run left behind, of the writes and of the
// backup copy, go with the next run; those of a live process stay.
TEST(Leftovers, TemporaryFilesOfDeadRunsAreRemoved) {
  ScratchDir dir;
  InFolder in(dir.path());
  WriteFile("txtsetup.oem", kOemFile);
  WriteFile("txtsetup.sif", "[SCSI]\r\n");
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  std::vector<std::string> expected = {"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"};
  for (const char* name : {"txtsetup.sif", "txtsetup.sif.temp"}) {
    WriteFile(std::string(name) + ".o2s-" + std::to_string(dead) + "-1-abc.tmp", "half");
    expected.push_back(std::string(name) + ".o2s-1-1-abc.tmp");  // init never goes away
    WriteFile(expected.back(), "half");
  }
  RunAfterMenu();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListDir("."), expected);
}

// A second run of the same driver set rewrites the file once per option
// (dropping the end marker the option before appended), not once per write,
// and leaves the bytes of the first.
TEST(Rewrites, SecondRunRewritesOncePerOptionAndChangesNothing) {
  ScratchDir dir;
  InFolder in(dir.path());
  WriteFile("txtsetup.oem", kOemFile);
  WriteFile("txtsetup.sif", GenerateSetupFile(300));
  RunAfterMenu();
  const std::string afterFirst = ReadFile("txtsetup.sif");
  FaultTable counting;
  RunAfterMenu();
  EXPECT_EQ(counting.CountOf("rename"), 2u + 1);  // the two options, and the rotation's copy
  EXPECT_EQ(ReadFile("txtsetup.sif"), afterFirst);
}

}  // namespace
}  // namespace o2s_test
