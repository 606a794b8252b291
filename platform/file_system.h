// What the profile engine needs from the file system. One contract, one
// implementation per system (files_posix.cpp, files_win.cpp).
// Internal to platform/.
#ifndef OEM2SIF_PLATFORM_FILE_SYSTEM_H
#define OEM2SIF_PLATFORM_FILE_SYSTEM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace o2s {

// Enough to tell whether a file changed since it was last read or written
// (platform.h says what it misses). The status-change time is POSIX's
// st_ctim; files_win.cpp leaves it 0, as Windows 2000 offers none.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  int64_t changedSeconds = 0;
  int64_t changedNanoseconds = 0;
};

// What ReadFileBytes answers, without opening it, for a name that is no
// regular file of the folder; kFileRead for one that is.
inline ReadFileResult RefusalOfKind(FileKind kind) {
  switch (kind) {
    case kFileKindMissing:
      return kFileMissing;
    case kFileKindOther:
      return kFileNotRegular;
    case kFileKindOutside:
      return kFileOutside;
    case kFileKindRegular:
      break;
  }
  return kFileRead;
}

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modifiedSeconds == b.modifiedSeconds &&
         a.modifiedNanoseconds == b.modifiedNanoseconds &&
         a.changedSeconds == b.changedSeconds &&
         a.changedNanoseconds == b.changedNanoseconds;
}

// The path an operation uses for `name`: the ".\" prefix names the current
// folder, and the last part is found in any letter case (see platform.h).
std::string MapFileName(const char* name);

enum class FileState { kMissing, kPresent, kUnreadable };

// Stats `path` (following links). kMissing when it does not exist.
FileState StatFile(const std::string& path, FileIdentity* identity);

// Reads the whole file. kMissing when it does not exist, kUnreadable on any
// other failure (out is then unspecified).
FileState ReadWholeFile(const std::string& path, std::string* out,
                        FileIdentity* identity);

// Replaces the file at `path` (created when missing) with `size` bytes, via a
// temporary file in the same folder and a rename over the old one. The file
// keeps its permission bits where the file system keeps them (and owner,
// where allowed). A file this user may
// not write, or one without any write permission bit, is refused and left
// unchanged. On any failure the old file is untouched and no temporary file
// is left. On success *identity is that of the new file.
bool ReplaceFileContent(const std::string& path, const char* bytes,
                        size_t size, FileIdentity* identity);

// Counts one failure for FileFailures (platform.h).
void CountFileFailure();

// How many times this process has read a folder's listing to find a name
// in another letter case (POSIX only; Windows finds names itself): the
// listing of a folder is kept, so a run reads each folder about once.
unsigned FolderListingsRead();

}  // namespace o2s

#endif  // OEM2SIF_PLATFORM_FILE_SYSTEM_H
