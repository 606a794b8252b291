#include "tests/support/fault_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "platform/posix_calls.h"

namespace o2s_test {
namespace {

unsigned gCalls = 0;
unsigned gFailAt = 0;
int gError = EIO;
bool gFired = false;
const char* gFiredCall = "";
bool gForeignFileSystem = false;
std::string gPlantTarget;
std::map<std::string, unsigned> gCountByName;
std::map<std::string, int> gLacking;

bool ShouldFail(const char* name) {
  ++gCountByName[name];
  auto lacking = gLacking.find(name);
  if (lacking != gLacking.end()) {
    errno = lacking->second;
    return true;
  }
  if (++gCalls != gFailAt) return false;
  gFired = true;
  gFiredCall = name;
  errno = gError;
  return true;
}

const o2s::PosixCalls& Real() { return o2s::DefaultPosixCalls(); }

int Open(const char* p, int f, mode_t m) {
  if (ShouldFail("open")) return -1;
  if ((f & O_EXCL) && !gPlantTarget.empty()) {
    symlink(gPlantTarget.c_str(), p);
    gPlantTarget.clear();
  }
  return Real().open(p, f, m);
}
ssize_t Read(int fd, void* b, size_t n) { return ShouldFail("read") ? -1 : Real().read(fd, b, n); }
ssize_t Write(int fd, const void* b, size_t n) {
  return ShouldFail("write") ? -1 : Real().write(fd, b, n);
}
int Fsync(int fd) { return ShouldFail("fsync") ? -1 : Real().fsync(fd); }
int Fstatfs(int fd, struct statfs* st) {
  if (ShouldFail("fstatfs")) return -1;
  int rc = Real().fstatfs(fd, st);
  if (rc == 0 && gForeignFileSystem) st->f_type = 0x58465342;  // XFS: needs fsync
  return rc;
}
int Close(int fd) {
  // A failed close still releases the descriptor, as on Linux.
  bool fail = ShouldFail("close");
  int rc = Real().close(fd);
  return fail ? -1 : rc;
}
int Fstat(int fd, struct stat* st) { return ShouldFail("fstat") ? -1 : Real().fstat(fd, st); }
int Fchmod(int fd, mode_t m) { return ShouldFail("fchmod") ? -1 : Real().fchmod(fd, m); }
int Fchown(int fd, uid_t u, gid_t g) { return ShouldFail("fchown") ? -1 : Real().fchown(fd, u, g); }
int Rename(const char* a, const char* b) { return ShouldFail("rename") ? -1 : Real().rename(a, b); }
int RenameNoReplace(const char* a, const char* b) {
  return ShouldFail("renameNoReplace") ? -1 : Real().renameNoReplace(a, b);
}
int Link(const char* a, const char* b) { return ShouldFail("link") ? -1 : Real().link(a, b); }
int Lstat(const char* p, struct stat* st) { return ShouldFail("lstat") ? -1 : Real().lstat(p, st); }
int Unlink(const char* p) { return ShouldFail("unlink") ? -1 : Real().unlink(p); }

}  // namespace

FaultTable::FaultTable() {
  o2s::LivePosixCalls() = {Open,   Read,   Write,           Fsync, Fstatfs, Close, Fstat,
                           Fchmod, Fchown, Rename, RenameNoReplace, Link,  Lstat,   Unlink};
  Arm(0);
}

FaultTable::~FaultTable() {
  o2s::LivePosixCalls() = o2s::DefaultPosixCalls();
  gForeignFileSystem = false;
  gPlantTarget.clear();
  gLacking.clear();
}

void FaultTable::Arm(unsigned failAt, int error) {
  gCalls = 0;
  gFailAt = failAt;
  gError = error;
  gFired = false;
  gFiredCall = "";
  gCountByName.clear();
}

void FaultTable::FailEveryCall(const std::string& name, int error) { gLacking[name] = error; }

void FaultTable::PlantLinkAtFirstExclusiveCreate(const std::string& target) { gPlantTarget = target; }

unsigned FaultTable::CountOf(const std::string& name) const {
  auto it = gCountByName.find(name);
  return it == gCountByName.end() ? 0 : it->second;
}

void FaultTable::PretendFileSystemNeedsSync(bool yes) { gForeignFileSystem = yes; }

bool FaultTable::fired() const { return gFired; }
std::string FaultTable::firedCall() const { return gFiredCall; }

}  // namespace o2s_test
