// File operations on Windows: the file-system contract of the profile
// engine, the backup-rotation operations and the append stream. Only what
// Windows 2000 already offers is used.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace o2s {
namespace {

void ToIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity* identity) {
  identity->device = info.dwVolumeSerialNumber;
  identity->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // The two halves of the FILETIME: only compared, never read as time.
  identity->modifiedSeconds = info.ftLastWriteTime.dwHighDateTime;
  identity->modifiedNanoseconds = info.ftLastWriteTime.dwLowDateTime;
  // No change time: Windows 2000 offers none (platform.h says what that misses).
}

bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Virus scanners and indexers open new files for a moment; a replace that
// meets one of them is tried again a few times.
bool IsPassingLock(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool ReplaceWithRetries(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    if (attempt == 10 || !IsPassingLock(GetLastError())) return false;
    Sleep(50);
  }
}

bool WriteAll(HANDLE file, const char* bytes, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Temporary files of runs that were killed mid-write; only those whose
// process is gone (the pid is in the name) are removed.
void RemoveStaleTemps(const std::string& target) {
  static std::set<std::string> cleaned;
  if (!cleaned.insert(target).second) return;
  size_t slash = target.find_last_of("\\/");
  std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".o2s-";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + prefix + "*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DWORD pid = strtoul(found.cFileName + prefix.size(), nullptr, 10);
    if (pid == 0 || pid == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != nullptr) {
      CloseHandle(process);
    } else if (GetLastError() == ERROR_INVALID_PARAMETER) {  // no such process
      ::DeleteFileA((dir + found.cFileName).c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Creates a new file beside `target` (CREATE_NEW: an existing name, a
// planted link included, is never opened) and writes `bytes` to disk.
bool WriteTempBeside(const std::string& target, const char* bytes, size_t size, std::string* tempName) {
  static unsigned counter = 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[64];
    snprintf(suffix, sizeof suffix, ".o2s-%lu-%u-%lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
             ++counter, static_cast<unsigned long>(GetTickCount()) & 0xfffffUL);
    *tempName = target + suffix;
    file = CreateFileA(tempName->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes, size) && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (!ok) ::DeleteFileA(tempName->c_str());
  return ok;
}

}  // namespace

std::string MapFileName(const char* name) { return name; }  // ".\" is native here

FileState StatFile(const std::string& path, FileIdentity* identity) {
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    return IsMissingError(GetLastError()) ? FileState::kMissing : FileState::kUnreadable;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return FileState::kUnreadable;
  ToIdentity(info, identity);
  return FileState::kPresent;
}

FileState ReadWholeFile(const std::string& path, std::string* out, FileIdentity* identity) {
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    return IsMissingError(GetLastError()) ? FileState::kMissing : FileState::kUnreadable;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    return FileState::kUnreadable;
  }
  uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  out->resize(static_cast<size_t>(size) + 1);  // a read that fills it means the file grew
  size_t filled = 0;
  for (;;) {
    if (filled == out->size()) out->resize(out->size() * 2);
    DWORD want = static_cast<DWORD>(std::min<size_t>(out->size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, &(*out)[filled], want, &got, nullptr)) {
      CloseHandle(file);
      return FileState::kUnreadable;
    }
    if (got == 0) break;
    filled += got;
  }
  out->resize(filled);
  bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!ok) return FileState::kUnreadable;
  ToIdentity(info, identity);
  if (identity->size != filled) identity->size = filled;  // changed meanwhile: read again next time
  return FileState::kPresent;
}

bool ReplaceFileContent(const std::string& path, const char* bytes, size_t size, FileIdentity* identity) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && !IsMissingError(GetLastError())) return false;
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return false;
  RemoveStaleTemps(path);
  std::string temp;
  if (!WriteTempBeside(path, bytes, size, &temp)) return false;
  if (exists) SetFileAttributesA(temp.c_str(), attributes);  // hidden, archive ... as before
  if (!ReplaceWithRetries(temp, path)) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return StatFile(path, identity) == FileState::kPresent;
}

int CopyFileA(const char* from, const char* to, int failIfExists) {
  // So that a run whose writes all find their entries in place clears them too.
  RemoveStaleTemps(from);
  RemoveStaleTemps(to);
  return ::CopyFileA(from, to, failIfExists ? TRUE : FALSE) ? 1 : 0;
}

int MoveFileA(const char* from, const char* to) {
  return ::MoveFileA(from, to) ? 1 : 0;  // never replaces an existing file
}

int DeleteFileA(const char* name) {
  if (::DeleteFileA(name)) return 1;
  // A copy of a read-only file is read-only too, and Windows will not
  // delete it as it stands.
  DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return 0;
  SetFileAttributesA(name, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (::DeleteFileA(name)) return 1;
  SetFileAttributesA(name, attributes);
  return 0;
}

FileKind GetFileKind(const char* name) {
  // FindFirstFileA lists the folder's own entries: a device name (CON, NUL,
  // COM1) that CreateFileA would open is no entry there.
  if (strchr(name, '*') != nullptr || strchr(name, '?') != nullptr) return kFileKindMissing;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(name, &found);
  if (search == INVALID_HANDLE_VALUE) return kFileKindMissing;
  FindClose(search);
  // Symbolic links and junctions; other reparse points (a cloud file, a
  // deduplicated one) are files where they are.
  const DWORD kTagMountPoint = 0xA0000003, kTagSymlink = 0xA000000C;
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      (found.dwReserved0 == kTagMountPoint || found.dwReserved0 == kTagSymlink)) {
    return kFileKindOutside;
  }
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? kFileKindOther : kFileKindRegular;
}

ReadFileResult ReadFileBytes(const char* name, void* buf, size_t capacity, size_t* size) {
  *size = 0;
  ReadFileResult refused = RefusalOfKind(GetFileKind(name));
  if (refused != kFileRead) return refused;
  HANDLE file = OpenForReading(name);
  if (file == INVALID_HANDLE_VALUE) return IsMissingError(GetLastError()) ? kFileMissing : kFileUnreadable;
  BY_HANDLE_FILE_INFORMATION info;
  // A device (a name swapped in since GetFileKind) has no file information.
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    return kFileNotRegular;
  }
  uint64_t length = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  ReadFileResult result = kFileRead;
  char* out = static_cast<char*>(buf);
  for (;;) {
    // A file that grew past the buffer: one byte more tells.
    char spare;
    bool full = *size == capacity;
    DWORD want = full ? 1 : static_cast<DWORD>(std::min<size_t>(capacity - *size, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, full ? &spare : out + *size, want, &got, nullptr)) {
      result = kFileUnreadable;
      break;
    }
    if (got == 0) break;
    if (full) {
      result = kFileTooBig;
      *size = length > capacity ? static_cast<size_t>(length) : capacity + 1;
      break;
    }
    *size += got;
  }
  CloseHandle(file);
  return result;
}

unsigned FolderListingsRead() { return 0; }

int IsFilePresent(const char* name) { return GetFileKind(name) == kFileKindRegular ? 1 : 0; }

unsigned GetFolderName(const char* folder, char* buf, unsigned capacity) {
  if (capacity == 0) return 0;
  buf[0] = '\0';
  char full[MAX_PATH * 2];
  DWORD length = GetFullPathNameA(folder != nullptr && *folder ? folder : ".", sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return 0;
  while (length > 0 && (full[length - 1] == '\\' || full[length - 1] == '/')) full[--length] = '\0';
  size_t start = length;
  while (start > 0 && full[start - 1] != '\\' && full[start - 1] != '/' && full[start - 1] != ':') --start;
  size_t nameLength = std::min<size_t>(length - start, capacity - 1);
  memcpy(buf, full + start, nameLength);
  buf[nameLength] = '\0';
  return static_cast<unsigned>(nameLength);
}

struct AppendStream {
  FILE* file;
};

AppendStream* OpenAppendStream(const char* name) {
  // Windows refuses a read-only file by itself; asked first so that a
  // privileged emulation (Wine as root) behaves the same.
  DWORD attributes = GetFileAttributesA(name);
  FILE* file = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                   ? nullptr
                   : fopen(name, "ab");
  if (file == nullptr) {
    CountFileFailure();
    return nullptr;
  }
  return new AppendStream{file};
}

int WriteAppendStream(AppendStream* stream, const void* bytes, size_t size) {
  if (fwrite(bytes, 1, size, stream->file) == size) return 1;
  CountFileFailure();
  return 0;
}

int CloseAppendStream(AppendStream* stream) {
  int ok = fclose(stream->file) == 0 ? 1 : 0;
  delete stream;
  if (!ok) CountFileFailure();
  return ok;
}

int MakeScratchFolder(char* buf, size_t capacity) {
  char base[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length >= sizeof base) return 0;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int written = snprintf(buf, capacity, "%soem2sif-%lu-%u-%lx", base,
                           static_cast<unsigned long>(GetCurrentProcessId()), ++counter,
                           static_cast<unsigned long>(GetTickCount()) & 0xfffffUL);
    if (written < 0 || static_cast<size_t>(written) >= capacity) return 0;
    // Inherits the temporary folder's permissions: the user's own.
    if (CreateDirectoryA(buf, nullptr)) return 1;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}

int RemoveScratchFolder(const char* folder) {
  std::string prefix = std::string(folder) + "\\";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((prefix + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryA(folder) ? 1 : 0;
}

namespace {
std::string gFolderBefore;
}  // namespace

int EnterFolder(const char* folder) {
  char current[MAX_PATH * 2];
  DWORD length = GetCurrentDirectoryA(sizeof current, current);
  if (length == 0 || length >= sizeof current) return 0;
  if (!SetCurrentDirectoryA(folder)) return 0;
  gFolderBefore = current;
  return 1;
}

int LeaveFolder() { return !gFolderBefore.empty() && SetCurrentDirectoryA(gFolderBefore.c_str()) ? 1 : 0; }

}  // namespace o2s
