// The promise that a setup source is never lost: every system call of a
// whole run (backup rotation, profile writes, end markers) failing in turn,
// a full disk, planted symbolic links, and no needless rewrites.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sif/sif_writer.h"
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

struct Option {
  const char* key;
  const char* description;
  const char* driver;
  std::vector<std::string> ids;
  std::vector<std::string> services;
};

const Option kOptions[] = {
    {"first", "First Controller", "first.sys", {"PCI\\VEN_1&DEV_1", "PCI\\VEN_1&DEV_2"}, {"first", "first"}},
    {"second", "Second Controller", "second.sys", {"PCI\\VEN_2&DEV_1", "PCI\\VEN_2&DEV_2", "PCI\\VEN_2&DEV_3"},
     {"second", "second", "second"}},
};

// The entries a run writes, as lines, by section.
std::set<std::string> ExpectedEntries() {
  std::set<std::string> lines;
  for (const Option& o : kOptions) {
    lines.insert(std::string(o.services[0]) + " = \"" + o.description + "\"");
    lines.insert(std::string(o.services[0]) + " = " + o.driver + ",4");
    lines.insert(std::string(o.driver) + " = 1,,,,,,3_,4,1");
    for (const std::string& id : o.ids) lines.insert(id + " = \"" + o.services[0] + "\"");
  }
  return lines;
}

// The run without its console: rotation, then every option written.
void RunWithoutConsole() {
  char scratch[o2s::kScratchCapacity];
  o2s::RotateSetupBackup();
  for (const Option& o : kOptions) {
    std::vector<char*> ids, services;
    for (const std::string& id : o.ids) ids.push_back(const_cast<char*>(id.c_str()));
    for (const std::string& s : o.services) services.push_back(const_cast<char*>(s.c_str()));
    o2s::WriteDriverOption(".\\txtsetup.sif", scratch, o.key, o.description, o.driver, ids.data(),
                           services.data(), static_cast<unsigned>(ids.size()), 1);
  }
}

// The run inside `dir`, its console output dropped.
void RunQuietlyIn(const std::string& dir) {
  InFolder in(dir);
  ::testing::internal::CaptureStdout();
  RunWithoutConsole();
  ::testing::internal::GetCapturedStdout();
}

// Nothing of `original` is lost from `now`, and what is added is whole.
// Returns how many expected entries are missing.
size_t CheckNothingLost(const std::string& original, const std::string& now) {
  std::string body = original.substr(0, original.size() - 1);  // its trailing 0x1A
  std::vector<std::string> before = SplitCrLfLines(body);
  std::set<std::string> expected = ExpectedEntries();
  size_t next = 0;
  std::set<std::string> found;
  for (const std::string& line : SplitCrLfLines(now)) {
    if (next < before.size() && line == before[next]) {
      ++next;
    } else if (expected.count(line)) {
      found.insert(line);
    } else {
      ADD_FAILURE() << "a line that is neither old nor whole: " << line;
    }
  }
  EXPECT_EQ(next, before.size()) << "original lines lost";
  // Anything after the last line end is end markers only.
  std::string tail = now.substr(now.rfind("\r\n") + 2);
  EXPECT_EQ(tail.find_first_not_of('\x1a'), std::string::npos) << "torn tail";
  return expected.size() - found.size();
}

void CheckWholeRunUnderFaults(int error) {
  const std::string original = GenerateSetupFile(300);
  ScratchDir dir;
  InFolder in(dir.path());
  FaultTable faults;
  faults.PretendFileSystemNeedsSync(true);
  for (unsigned n = 1;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    for (const std::string& name : ListDir(".")) unlink(name.c_str());
    WriteFile("txtsetup.sif", original);
    faults.Arm(n, error);
    ::testing::internal::CaptureStdout();
    RunWithoutConsole();
    std::string printed = ::testing::internal::GetCapturedStdout();
    bool fired = faults.fired();
    std::string call = faults.firedCall();
    faults.Arm(0);
    SCOPED_TRACE(call);

    ASSERT_TRUE(FileExists("txtsetup.sif"));
    size_t missing = CheckNothingLost(original, ReadFile("txtsetup.sif"));
    // One failed call costs at most the one entry it was writing.
    EXPECT_LE(missing, 1u);
    if (FileExists("txtsetup.sif.orig")) {
      EXPECT_EQ(ReadFile("txtsetup.sif.orig"), original);
    }
    for (const std::string& name : ListDir(".")) {
      EXPECT_TRUE(name == "txtsetup.sif" || name == "txtsetup.sif.orig" ||
                  (name == "txtsetup.sif.temp" && call == "unlink"))
          << "left behind: " << name;
    }
    if (missing == 1) {
      EXPECT_NE(Cp932ToUtf8(printed).find("の書き込みに失敗しました。\n"), std::string::npos) << printed;
    }
    if (!fired) {
      EXPECT_EQ(missing, 0u);
      EXPECT_GT(n, 50u);
      break;
    }
  }
}

TEST(WholeRunFaults, EveryCallCanFailAndNothingIsLost) { CheckWholeRunUnderFaults(EIO); }

TEST(WholeRunFaults, FullDiskLosesNothing) { CheckWholeRunUnderFaults(ENOSPC); }

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(outside_ / "victim", "precious");
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
  const std::string original_ = GenerateSetupFile(200);
};

TEST_F(Links, TempCopyNameIsReplacedNotWrittenThrough) {
  ASSERT_EQ(symlink((outside_ / "victim").c_str(), (dir_ / "txtsetup.sif.temp").c_str()), 0);
  RunQuietlyIn(dir_.path());
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
    RunQuietlyIn(dir_.path());
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
  RunQuietlyIn(dir_.path());
  ExpectVictimUntouched();
  ExpectRunWritten();
  size_t links = 0;
  for (const std::string& name : ListDir(dir_.path())) {
    struct stat st;
    if (lstat((dir_ / name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ++links;
  }
  EXPECT_EQ(links, 1u);  // the planted one, left alone
}

// A temporary file that a killed run left behind goes with the next write;
// one of a live process stays.
TEST(Leftovers, TemporaryFilesOfDeadRunsAreRemoved) {
  ScratchDir dir;
  WriteFile(dir / "txtsetup.sif", "[SCSI]\r\n");
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string deadTemp = "txtsetup.sif.o2s-" + std::to_string(dead) + "-1-abc.tmp";
  const std::string liveTemp = "txtsetup.sif.o2s-1-1-abc.tmp";  // init never goes away
  WriteFile(dir / deadTemp, "half");
  WriteFile(dir / liveTemp, "half");
  ASSERT_NE(o2s::WritePrivateProfileStringA("SCSI", "k", "v", (dir / "txtsetup.sif").c_str()), 0);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"txtsetup.sif", liveTemp}));
}

// A second run of the same driver set rewrites the file once per option
// (dropping the end marker the option before appended), not once per write.
TEST(Rewrites, SecondRunRewritesOncePerOption) {
  ScratchDir dir;
  InFolder in(dir.path());
  WriteFile("txtsetup.sif", GenerateSetupFile(300));
  ::testing::internal::CaptureStdout();
  RunWithoutConsole();
  FaultTable counting;
  RunWithoutConsole();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(counting.CountOf("rename"), sizeof kOptions / sizeof kOptions[0] + 1);  // + the rotation's copy
}

}  // namespace
}  // namespace o2s_test
