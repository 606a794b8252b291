// Makes the N-th system call of the platform's table fail (counting every
// call in the table from Arm()), in the manner of a replaceable syscall
// table. Restores the table when it goes away.
#ifndef OEM2SIF_TESTS_SUPPORT_FAULT_TABLE_H
#define OEM2SIF_TESTS_SUPPORT_FAULT_TABLE_H

#include <cerrno>
#include <string>

namespace o2s_test {

class FaultTable {
 public:
  FaultTable();
  ~FaultTable();
  FaultTable(const FaultTable&) = delete;
  FaultTable& operator=(const FaultTable&) = delete;

  // Counts calls from 0; call number `failAt` (1-based) fails with `error`.
  // 0 fails none.
  void Arm(unsigned failAt, int error = EIO);
  // Makes every call of `name` fail with `error`, as on a file system that
  // lacks it (exFAT through FUSE: renameNoReplace EINVAL, link EPERM). Such
  // calls are counted by CountOf but not by Arm.
  void FailEveryCall(const std::string& name, int error);
  // Reports every file system as one that needs an fsync before a rename
  // (the default file system here may not), so that path is exercised.
  void PretendFileSystemNeedsSync(bool yes);
  // Before the first exclusive create, plants a symbolic link to `target`
  // under the name about to be created, as an attacker racing the tool would.
  void PlantLinkAtFirstExclusiveCreate(const std::string& target);
  // The calls of `name` since the table was made or last armed.
  unsigned CountOf(const std::string& name) const;
  bool fired() const;
  std::string firedCall() const;  // name of the call that failed
};

}  // namespace o2s_test

#endif
