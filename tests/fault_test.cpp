// Every system call of the write path fails in turn: the file holds its old
// bytes or its new ones, and no temporary file is left behind.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/fault_table.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

struct WriteCase {
  const char* name;
  const char* section;
  const char* key;
};

void CheckEveryCallFailing(const std::string& original, const WriteCase& w, int error, bool syncing) {
  ScratchDir dir;
  std::string path = dir / "txtsetup.sif";
  // The result without faults.
  WriteFile(path, original);
  ASSERT_NE(o2s::WritePrivateProfileStringA(w.section, w.key, "\"x\"", path.c_str()), 0);
  const std::string written = ReadFile(path);

  FaultTable faults;
  faults.PretendFileSystemNeedsSync(syncing);
  std::vector<std::string> failedCalls;
  for (unsigned n = 1;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    WriteFile(path, original);
    o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    faults.Arm(n, error);
    int ok = o2s::WritePrivateProfileStringA(w.section, w.key, "\"x\"", path.c_str());
    bool fired = faults.fired();
    std::string failedCall = faults.firedCall();
    faults.Arm(0);
    std::string now = ReadFile(path);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"txtsetup.sif"});
    if (!fired) {
      EXPECT_NE(ok, 0);
      EXPECT_EQ(now, written);
      break;
    }
    SCOPED_TRACE(failedCall);
    failedCalls.push_back(failedCall);
    if (ok) {
      EXPECT_EQ(now, written);
    } else {
      EXPECT_EQ(now, original);
    }
  }
  for (const char* call : {"open", "write", "rename"}) {
    EXPECT_NE(std::find(failedCalls.begin(), failedCalls.end(), call), failedCalls.end()) << call;
  }
  if (syncing) {
    EXPECT_NE(std::find(failedCalls.begin(), failedCalls.end(), "fsync"), failedCalls.end());
  }
}

TEST(ProfileFaults, EveryCallOfTheWritePathCanFail) {
  const std::string small = "[SCSI]\r\nold = \"Old\"\r\n\x1a";
  const std::string large = GenerateSetupFile(3000);
  const WriteCase cases[] = {{"replace", "SCSI", "old"},
                             {"insert", "SCSI", "new"},
                             {"new_section", "SCSI.Load", "new"}};
  for (const WriteCase& w : cases) {
    SCOPED_TRACE(w.name);
    for (bool syncing : {false, true}) {
      CheckEveryCallFailing(small, w, EIO, syncing);
      CheckEveryCallFailing(large, w, ENOSPC, syncing);
    }
  }
}

// File systems that keep no Unix modes (FAT through FUSE, some shares)
// refuse to set one; the write goes on, and a read-only file is still refused.
TEST(ProfileFaults, AModeThatCannotBeSetDoesNotStopAWrite) {
  ScratchDir dir;
  std::string path = dir / "txtsetup.sif";
  for (int error : {ENOSYS, EPERM, EOPNOTSUPP}) {
    SCOPED_TRACE(error);
    FaultTable faults;
    faults.FailEveryCall("fchmod", error);
    WriteFile(path, "[SCSI]\r\n");
    EXPECT_NE(o2s::WritePrivateProfileStringA("SCSI", "k", "v", path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), "[SCSI]\r\nk = v\r\n");
    chmod(path.c_str(), 0444);
    EXPECT_EQ(o2s::WritePrivateProfileStringA("SCSI", "k", "w", path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), "[SCSI]\r\nk = v\r\n");
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"txtsetup.sif"});
    unlink(path.c_str());
  }
}

}  // namespace
}  // namespace o2s_test
