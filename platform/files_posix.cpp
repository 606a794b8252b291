// File operations on POSIX systems: the file-system contract of the profile
// engine, the backup-rotation operations and the append stream. Every call
// that changes a file goes through LivePosixCalls().
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/posix_calls.h"

namespace o2s {
namespace {

int OpenDefault(const char* path, int flags, mode_t mode) {
  return ::open(path, flags | O_CLOEXEC, mode);
}

int RenameNoReplaceDefault(const char* from, const char* to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
  (void)from;
  (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

int LinkDefault(const char* from, const char* to) {
#ifdef __EMSCRIPTEN__
  // The page's in-memory file system has no hard links.
  (void)from;
  (void)to;
  errno = ENOSYS;
  return -1;
#else
  return ::link(from, to);
#endif
}

const PosixCalls kDefaultCalls = {
    OpenDefault, ::read,    ::write,  ::fsync,
    ::fstatfs,   ::close,   ::fstat,  ::fchmod,
    ::fchown,    ::rename,  RenameNoReplaceDefault, LinkDefault,
    ::lstat,     ::unlink,
};

PosixCalls gCalls = kDefaultCalls;

bool LacksNoReplaceRename(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool LacksHardLinks(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EXDEV || error == EMLINK;
}

// Renames without ever replacing `to`: RENAME_NOREPLACE, else a hard link
// (which never replaces either), else a check that `to` is free and a plain
// rename (exFAT and FAT through FUSE offer neither; platform.h says what the
// check leaves open). Each errno decides only for the call that gave it.
int RenameNoReplace(const char* from, const char* to) {
  if (gCalls.renameNoReplace(from, to) == 0) return 0;
  if (!LacksNoReplaceRename(errno)) return -1;
  if (gCalls.link(from, to) == 0) return gCalls.unlink(from);
  if (!LacksHardLinks(errno)) return -1;
  // On a case-insensitive file system lstat finds the name in any letter
  // case; elsewhere `to` was already mapped to its existing spelling.
  struct stat st;
  if (gCalls.lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (errno != ENOENT) return -1;
  return gCalls.rename(from, to);
}

void ToIdentity(const struct stat& st, FileIdentity* identity) {
  identity->device = static_cast<uint64_t>(st.st_dev);
  identity->inode = static_cast<uint64_t>(st.st_ino);
  identity->size = static_cast<uint64_t>(st.st_size);
  identity->modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  identity->modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
  identity->changedSeconds = static_cast<int64_t>(st.st_ctim.tv_sec);
  identity->changedNanoseconds = static_cast<int64_t>(st.st_ctim.tv_nsec);
}

// Windows' read-only attribute binds every user, administrators included.
// Its closest POSIX kin is a file without any write permission bit.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & 0222) == 0; }

// ext4 (and ext3, which the ext4 driver mounts) with its default
// auto_da_alloc writes the data of a file that is renamed over another before
// the rename itself is committed, so the replace is crash-safe there without
// an fsync, which would cost a third of each write. Mounted with
// noauto_da_alloc or data=writeback it does not, and ext2 has no journal.
// The mount's options come from /proc/self/mountinfo, read once per device;
// a mount that cannot be found there counts as one that does not.
bool MountFlushesOnRename(dev_t device) {
  static std::map<dev_t, bool> known;
  auto it = known.find(device);
  if (it != known.end()) return it->second;
  bool flushes = false;
  char wanted[32];
  snprintf(wanted, sizeof wanted, "%u:%u", major(device), minor(device));
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mounts, line)) {
    // id parent major:minor root mount-point options [tags] - type source super-options
    std::istringstream fields(line);
    std::string id, parent, number, field;
    fields >> id >> parent >> number;
    if (number != wanted) continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source, options;
    fields >> type >> source >> options;
    flushes = type == "ext4" || type == "ext3";
    std::istringstream list(options);
    while (std::getline(list, field, ',')) {
      if (field == "noauto_da_alloc" || field == "data=writeback") flushes = false;
    }
    break;  // every mount of a device shares its super-options
  }
  known[device] = flushes;
  return flushes;
}

const long kExtSuperMagic = 0xEF53;

bool NeedsSyncBeforeRename(int fd) {
  struct statfs fileSystem;
  struct stat st;
  return gCalls.fstatfs(fd, &fileSystem) != 0 || static_cast<long>(fileSystem.f_type) != kExtSuperMagic ||
         gCalls.fstat(fd, &st) != 0 || !MountFlushesOnRename(st.st_dev);
}

bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t n = gCalls.write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Creates a new, empty file beside `target` with O_EXCL: a link or file
// planted under the chosen name is never opened, another name is tried.
int CreateTempBeside(const std::string& target, mode_t mode,
                     std::string* tempName) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    snprintf(suffix, sizeof suffix, ".o2s-%ld-%u-%lx.tmp",
             static_cast<long>(getpid()), ++counter,
             static_cast<unsigned long>(now.tv_nsec) & 0xfffffUL);
    *tempName = target + suffix;
    int fd = gCalls.open(tempName->c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Temporary files of runs that were killed mid-write would otherwise pile
// up in the user's setup source. Only those of processes that are gone are
// removed (the pid is in the name); unlink never follows a link.
// Once per file: a relative name is taken with the current folder, which
// ".\" names wherever that is.
void RemoveStaleTemps(const std::string& target) {
  std::string absolute = target;
  if (target[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return;
    absolute = std::string(cwd) + "/" + target;
  }
  static std::set<std::string> cleaned;
  if (!cleaned.insert(absolute).second) return;
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
  std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".o2s-";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() < 4 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    long pid = atol(name.c_str() + prefix.size());
    if (pid > 0 && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      gCalls.unlink((dir + "/" + name).c_str());
    }
  }
  closedir(d);
}

// Writes `bytes` to a fresh temporary file beside `target`, with the given
// mode and owner, and makes sure its data reaches the disk before a rename. Returns its descriptor (still open) or -1,
// in which case nothing is left behind.
int WriteTempBeside(const std::string& target, const char* bytes, size_t size,
                    const struct stat* like, std::string* tempName) {
  int fd = CreateTempBeside(target, like ? (like->st_mode & 07777) : 0666,
                            tempName);
  if (fd < 0) return -1;
  bool ok = true;
  if (like) {
    // The creation mode went through the umask; restore it exactly, where
    // the file system keeps modes (FAT through FUSE says ENOSYS, others
    // EPERM or EOPNOTSUPP: there the mode is the mount's anyway).
    if (gCalls.fchmod(fd, like->st_mode & 07777) != 0 && errno != ENOSYS && errno != EPERM &&
        errno != EOPNOTSUPP) {
      ok = false;
    }
    if (ok && (like->st_uid != geteuid() || like->st_gid != getegid())) {
      gCalls.fchown(fd, like->st_uid, like->st_gid);  // best effort
    }
  }
  ok = ok && WriteAll(fd, bytes, size) &&
       (!NeedsSyncBeforeRename(fd) || gCalls.fsync(fd) == 0);
  if (!ok) {
    gCalls.close(fd);
    gCalls.unlink(tempName->c_str());
    return -1;
  }
  return fd;
}

// The file a write to `path` must change: the target of a symbolic link,
// so the link itself survives.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  }
  return path;
}

// Folder listings, each read once and kept while it can be trusted: a
// setup folder holds some 10,000 files, and every letter-case miss would
// read all of them again. A listing is dropped by every create, rename or
// delete this process makes (ListingsChange), and read again when the
// folder's inode, modification or status-change time changed since, so
// other programs' changes are seen too (also one that sets the time
// back). One read within two seconds of the folder's last change (a coarse
// clock's tick: FAT's is 2 s) is used for that lookup only, since a change
// in the same tick would leave the time as it was.
struct Listing {
  ino_t inode;
  struct timespec modified;
  struct timespec changed;
  std::vector<std::string> names;
};

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}
std::map<std::string, Listing> gListings;
unsigned gListingsRead = 0;

// Drops every kept listing when it goes out of scope: around each
// operation that changes names.
struct ListingsChange {
  ~ListingsChange() { gListings.clear(); }
};

// The names of `folder` ("" for the current one); null when it cannot be
// listed.
const std::vector<std::string>* ListFolder(const std::string& folder) {
  const char* path = folder.empty() ? "." : folder.c_str();
  struct stat st;
  if (stat(path, &st) != 0) return nullptr;
  auto kept = gListings.find(folder);
  if (kept != gListings.end() && kept->second.inode == st.st_ino && SameTime(kept->second.modified, st.st_mtim) &&
      SameTime(kept->second.changed, st.st_ctim)) {
    return &kept->second.names;
  }
  DIR* d = opendir(path);
  if (d == nullptr) return nullptr;
  ++gListingsRead;
  static Listing scratch;
  Listing listing{st.st_ino, st.st_mtim, st.st_ctim, {}};
  while (dirent* e = readdir(d)) listing.names.push_back(e->d_name);
  closedir(d);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec - st.st_mtim.tv_sec < 2) {
    scratch = std::move(listing);
    return &scratch.names;
  }
  return &(gListings[folder] = std::move(listing)).names;
}

// Windows finds a name in any letter case, and the tool's users bring files
// named as on a CD or a driver disk (TXTSETUP.SIF, TxtSetup.oem). lstat: an
// entry that is a dangling link still takes the name.
std::string FindInAnyCase(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 || errno != ENOENT) return path;
  std::string folder = path.substr(0, path.rfind('/') + 1);  // "" or ends in '/'
  const char* name = path.c_str() + folder.size();
  size_t nameLength = path.size() - folder.size();
  const std::vector<std::string>* names = ListFolder(folder);
  if (names == nullptr) return path;
  const std::string* first = nullptr;
  for (const std::string& entry : *names) {
    // Several matches: the first in byte order, the same in every run.
    if (EqualNoCase(entry.data(), entry.size(), name, nameLength) && (first == nullptr || *first > entry)) {
      first = &entry;
    }
  }
  return first == nullptr ? path : folder + *first;
}

}  // namespace

PosixCalls& LivePosixCalls() { return gCalls; }
unsigned FolderListingsRead() { return gListingsRead; }
const PosixCalls& DefaultPosixCalls() { return kDefaultCalls; }

std::string MapFileName(const char* name) {
  if (name[0] == '.' && name[1] == '\\') return FindInAnyCase(std::string("./") + (name + 2));
  return FindInAnyCase(name);
}

FileState StatFile(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing
                                               : FileState::kUnreadable;
  }
  if (!S_ISREG(st.st_mode)) return FileState::kUnreadable;
  ToIdentity(st, identity);
  return FileState::kPresent;
}

FileState ReadWholeFile(const std::string& path, std::string* out,
                        FileIdentity* identity) {
  int fd = gCalls.open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing
                                               : FileState::kUnreadable;
  }
  struct stat st;
  if (gCalls.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    gCalls.close(fd);
    return FileState::kUnreadable;
  }
  // One byte more than the size: a read that fills it means the file grew.
  out->resize(static_cast<size_t>(st.st_size) + 1);
  size_t filled = 0;
  for (;;) {
    if (filled == out->size()) out->resize(out->size() * 2);
    ssize_t n = gCalls.read(fd, &(*out)[filled], out->size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      gCalls.close(fd);
      return FileState::kUnreadable;
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  out->resize(filled);
  // Identity after the read: a file that grew meanwhile is read again later.
  bool statted = gCalls.fstat(fd, &st) == 0;
  gCalls.close(fd);
  if (!statted) return FileState::kUnreadable;
  ToIdentity(st, identity);
  // A file that changed size while it was read no longer matches, so the
  // next call reads it again.
  if (identity->size != filled) identity->size = filled;
  return FileState::kPresent;
}

bool ReplaceFileContent(const std::string& path, const char* bytes,
                        size_t size, FileIdentity* identity) {
  ListingsChange change;
  std::string target = ResolveTarget(path);
  struct stat old;
  bool exists = stat(target.c_str(), &old) == 0;
  if (exists) {
    if (!S_ISREG(old.st_mode) || IsReadOnly(old)) return false;
    if (access(target.c_str(), W_OK) != 0) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  RemoveStaleTemps(target);
  std::string temp;
  int fd = WriteTempBeside(target, bytes, size, exists ? &old : nullptr, &temp);
  if (fd < 0) return false;
  bool ok = gCalls.close(fd) == 0;
  ok = ok && gCalls.rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    gCalls.unlink(temp.c_str());
    return false;
  }
  // Taken after the rename, which sets the file's status-change time. An
  // identity that cannot be had matches no file: the next call reads it.
  if (StatFile(target, identity) != FileState::kPresent) *identity = FileIdentity();
  return true;
}

int CopyFileA(const char* from, const char* to, int failIfExists) {
  ListingsChange change;
  std::string source = MapFileName(from);
  std::string target = MapFileName(to);
  // Those of the target, left by a killed copy, and those of the source, so
  // that a run whose writes all find their entries in place clears them too.
  RemoveStaleTemps(source);
  RemoveStaleTemps(target);
  std::string content;
  FileIdentity ignored;
  if (ReadWholeFile(source, &content, &ignored) != FileState::kPresent) {
    return 0;
  }
  struct stat like;
  if (stat(source.c_str(), &like) != 0) return 0;
  std::string temp;
  int fd = WriteTempBeside(target, content.data(), content.size(), &like, &temp);
  if (fd < 0) return 0;
  bool ok = gCalls.close(fd) == 0;
  if (ok) {
    // rename() replaces a link at the target instead of writing through it.
    ok = (failIfExists ? RenameNoReplace(temp.c_str(), target.c_str())
                       : gCalls.rename(temp.c_str(), target.c_str())) == 0;
  }
  if (!ok) gCalls.unlink(temp.c_str());
  return ok ? 1 : 0;
}

int MoveFileA(const char* from, const char* to) {
  ListingsChange change;
  std::string source = MapFileName(from);
  std::string target = MapFileName(to);
  return RenameNoReplace(source.c_str(), target.c_str()) == 0 ? 1 : 0;
}

int DeleteFileA(const char* name) {
  ListingsChange change;
  return gCalls.unlink(MapFileName(name).c_str()) == 0 ? 1 : 0;
}

namespace {

// GetFileKind of a name already mapped to its path.
FileKind KindOfPath(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? kFileKindMissing : kFileKindOther;
  if (S_ISLNK(st.st_mode)) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char realFolder[PATH_MAX], target[PATH_MAX];
    if (realpath(path.c_str(), target) == nullptr) return kFileKindMissing;
    if (realpath(folder.c_str(), realFolder) == nullptr) return kFileKindOutside;
    size_t length = strlen(realFolder);
    bool root = length == 1 && realFolder[0] == '/';
    if (!root && (strncmp(target, realFolder, length) != 0 || target[length] != '/')) return kFileKindOutside;
    if (stat(target, &st) != 0) return kFileKindMissing;
  }
  return S_ISREG(st.st_mode) ? kFileKindRegular : kFileKindOther;
}

}  // namespace

FileKind GetFileKind(const char* name) { return KindOfPath(MapFileName(name)); }

ReadFileResult ReadFileBytes(const char* name, void* buf, size_t capacity,
                             size_t* size) {
  *size = 0;
  std::string path = MapFileName(name);
  ReadFileResult refused = RefusalOfKind(KindOfPath(path));
  if (refused != kFileRead) return refused;
  // O_NONBLOCK: a FIFO put there since the kind was read does not hold the open.
  int fd = gCalls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? kFileMissing : kFileUnreadable;
  struct stat st;
  if (gCalls.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    gCalls.close(fd);
    return kFileNotRegular;
  }
  ReadFileResult result = kFileRead;
  char* out = static_cast<char*>(buf);
  for (;;) {
    // A file that grew past the buffer: one byte more tells.
    char spare;
    bool full = *size == capacity;
    ssize_t n = full ? gCalls.read(fd, &spare, 1) : gCalls.read(fd, out + *size, capacity - *size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = kFileUnreadable;
      break;
    }
    if (n == 0) break;
    if (full) {
      result = kFileTooBig;
      *size = static_cast<size_t>(st.st_size) > capacity ? static_cast<size_t>(st.st_size) : capacity + 1;
      break;
    }
    *size += static_cast<size_t>(n);
  }
  gCalls.close(fd);
  return result;
}

int IsFilePresent(const char* name) { return GetFileKind(name) == kFileKindRegular ? 1 : 0; }

// The path itself, where it is an absolute one of a folder without "." or
// ".." parts: in the browser's build, realpath fails within the read-only
// mount of the page's picked files (emscripten's WORKERFS has no readlink),
// whose paths the page makes so. Elsewhere realpath has answered.
static bool AbsoluteFolderPath(const char* path, char* full, size_t capacity) {
#ifdef __EMSCRIPTEN__
  size_t length = strlen(path);
  if (path[0] != '/' || length >= capacity) return false;
  for (const char* part = path; part != nullptr; part = strchr(part + 1, '/')) {
    if (strncmp(part, "/./", 3) == 0 || strcmp(part, "/.") == 0 || strncmp(part, "/../", 4) == 0 || strcmp(part, "/..") == 0) return false;
  }
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  memcpy(full, path, length + 1);
  while (length > 1 && full[length - 1] == '/') full[--length] = '\0';
  return true;
#else
  (void)path;
  (void)full;
  (void)capacity;
  return false;
#endif
}

unsigned GetFolderName(const char* folder, char* buf, unsigned capacity) {
  if (capacity == 0) return 0;
  buf[0] = '\0';
  char full[PATH_MAX];
  const char* path = folder != nullptr && *folder ? folder : ".";
  if (realpath(path, full) == nullptr && !AbsoluteFolderPath(path, full, sizeof full)) return 0;
  const char* name = strrchr(full, '/');
  name = name != nullptr ? name + 1 : full;
  size_t length = strlen(name);
  if (length > capacity - 1) length = capacity - 1;
  memcpy(buf, name, length);
  buf[length] = '\0';
  return static_cast<unsigned>(length);
}

struct AppendStream {
  int fd;
};

AppendStream* OpenAppendStream(const char* name) {
  ListingsChange change;
  std::string path = MapFileName(name);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && IsReadOnly(st)) {
    errno = EACCES;
    CountFileFailure();
    return nullptr;
  }
  int fd = gCalls.open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (fd < 0) {
    CountFileFailure();
    return nullptr;
  }
  return new AppendStream{fd};
}

int WriteAppendStream(AppendStream* stream, const void* bytes, size_t size) {
  if (WriteAll(stream->fd, static_cast<const char*>(bytes), size)) return 1;
  CountFileFailure();
  return 0;
}

int CloseAppendStream(AppendStream* stream) {
  int ok = gCalls.close(stream->fd) == 0 ? 1 : 0;
  delete stream;
  if (!ok) CountFileFailure();
  return ok;
}

int MakeScratchFolder(char* buf, size_t capacity) {
  const char* base = getenv("TMPDIR");
  if (base == nullptr || *base == '\0') base = "/tmp";
  std::string pattern = std::string(base) + "/oem2sif-XXXXXX";
  if (pattern.size() >= capacity) return 0;
  memcpy(buf, pattern.c_str(), pattern.size() + 1);
  return mkdtemp(buf) != nullptr ? 1 : 0;  // mode 0700
}

// The system's own calls, not the table's: the scratch folder is this
// process's, and a test's failing call must not leave it behind.
int RemoveScratchFolder(const char* folder) {
  ListingsChange change;
  if (DIR* d = opendir(folder)) {
    while (dirent* e = readdir(d)) {
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
        ::unlink((std::string(folder) + "/" + e->d_name).c_str());
      }
    }
    closedir(d);
  }
  return ::rmdir(folder) == 0 ? 1 : 0;
}

namespace {
std::string gFolderBefore;
}  // namespace

// The kept listings are of names relative to the folder left.
int EnterFolder(const char* folder) {
  ListingsChange change;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return 0;
  if (chdir(folder) != 0) return 0;
  gFolderBefore = cwd;
  return 1;
}

int LeaveFolder() {
  ListingsChange change;
  return !gFolderBefore.empty() && chdir(gFolderBefore.c_str()) == 0 ? 1 : 0;
}

}  // namespace o2s
