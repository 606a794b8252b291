// The system calls through which files_posix.cpp opens, reads, writes,
// inspects (fstat, fstatfs), renames, links and deletes files, reached
// through one table so that tests can make the N-th call fail, or make a
// call fail always as on a file system that lacks it (see
// tests/support/fault_table.h). Other name lookups (stat, access, realpath)
// and the folder listing (opendir, readdir) call the system directly.
// Internal to platform/.
#ifndef OEM2SIF_PLATFORM_POSIX_CALLS_H
#define OEM2SIF_PLATFORM_POSIX_CALLS_H

#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/types.h>

namespace o2s {

struct PosixCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buf, size_t size);
  ssize_t (*write)(int fd, const void* buf, size_t size);
  int (*fsync)(int fd);
  int (*fstatfs)(int fd, struct statfs* st);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* st);
  int (*fchmod)(int fd, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  // Replaces `to` when it exists.
  int (*rename)(const char* from, const char* to);
  // renameat2 with RENAME_NOREPLACE: EEXIST when `to` exists; EINVAL,
  // ENOSYS or EOPNOTSUPP where the kernel or the file system lacks it.
  int (*renameNoReplace)(const char* from, const char* to);
  // A hard link; EPERM, EOPNOTSUPP, ENOSYS or EXDEV where the file system
  // offers none.
  int (*link)(const char* from, const char* to);
  // Only for the never-replacing rename's check that the new name is free.
  int (*lstat)(const char* path, struct stat* st);
  int (*unlink)(const char* path);
};

// The live table. Tests may overwrite entries and must restore them.
PosixCalls& LivePosixCalls();
// The table as the program starts, for restoring.
const PosixCalls& DefaultPosixCalls();

}  // namespace o2s

#endif  // OEM2SIF_PLATFORM_POSIX_CALLS_H
