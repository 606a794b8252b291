// WriteUpdatedImage: the copy, the patches and the appended sectors, into
// a temporary file renamed over the output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "iso/iso_update.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#ifdef __linux__  // the reflink and the kernel's copy; elsewhere the buffer
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#endif

namespace o2s::iso {
namespace {

const size_t kCopyBuffer = 1u << 20;

std::string TemporaryName(const std::string& outputPath) {
  size_t slash = outputPath.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
#ifdef _WIN32
  unsigned long id = GetCurrentProcessId();
#else
  unsigned long id = static_cast<unsigned long>(getpid());
#endif
  return folder + "." + name + "." + std::to_string(id) + ".tmp";
}

#ifndef _WIN32

// Removes the temporary files that killed runs left beside the output
// (".NAME.PID.tmp" of a process that is gone).
void RemoveStaleTemporaries(const std::string& outputPath) {
  size_t slash = outputPath.rfind('/');
  std::string folder = slash == std::string::npos ? "." : outputPath.substr(0, slash + 1);
  std::string prefix = "." + (slash == std::string::npos ? outputPath : outputPath.substr(slash + 1)) + ".";
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  while (struct dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    std::string id = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    if (id.empty() || id.size() > 9 || id.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = static_cast<pid_t>(std::stol(id));
    if (pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH) unlink((folder + "/" + name).c_str());
  }
  closedir(listing);
}

bool WriteAt(int fd, uint64_t offset, const void* bytes, size_t size) {
  const char* p = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t n = pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// The input's bytes into `out`: a reflink, else the kernel's copy, else a
// buffer at a time.
WriteResult CopyImage(int in, int out, uint64_t size) {
  uint64_t done = 0;
#ifdef __linux__
#ifdef FICLONE
  if (ioctl(out, FICLONE, in) == 0) return WriteResult::kWritten;
#endif
  while (done < size) {
    loff_t inOffset = static_cast<loff_t>(done), outOffset = static_cast<loff_t>(done);
    ssize_t n = copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(std::min<uint64_t>(size - done, 1u << 30)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
#endif
  std::vector<char> buffer(kCopyBuffer);
  while (done < size) {
    ssize_t n = pread(in, buffer.data(), static_cast<size_t>(std::min<uint64_t>(size - done, buffer.size())),
                      static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return WriteResult::kReadFailed;
    if (!WriteAt(out, done, buffer.data(), static_cast<size_t>(n))) return WriteResult::kWriteFailed;
    done += static_cast<uint64_t>(n);
  }
  return WriteResult::kWritten;
}

WriteResult WriteAll(int in, int out, uint64_t inputSize, const Update& update) {
  WriteResult copied = CopyImage(in, out, inputSize);
  if (copied != WriteResult::kWritten) return copied;
  struct stat status;
  if (fstat(out, &status) != 0 || static_cast<uint64_t>(status.st_size) != inputSize) return WriteResult::kWriteFailed;
  // The gap up to the appended sectors (an image whose size is no whole
  // number of sectors) stays zero: ftruncate below extends with zeros.
  for (const auto& patch : update.patches) {
    if (!WriteAt(out, static_cast<uint64_t>(patch.first) * kSector, patch.second.data(), patch.second.size())) {
      return WriteResult::kWriteFailed;
    }
  }
  uint64_t offset = update.appendOffset;
  if (ftruncate(out, static_cast<off_t>(offset)) != 0) return WriteResult::kWriteFailed;
  for (const std::string& piece : update.appended) {
    if (!WriteAt(out, offset, piece.data(), piece.size())) return WriteResult::kWriteFailed;
    offset += piece.size();
  }
  if (fsync(out) != 0) return WriteResult::kWriteFailed;
  return WriteResult::kWritten;
}

#endif

}  // namespace

WriteResult WriteUpdatedImage(const std::string& inputPath, uint64_t inputSize, const Update& update,
                              const std::string& outputPath) {
  std::string temporary = TemporaryName(outputPath);
#ifdef _WIN32
  // Only the calls Windows 2000 offers: ReadFile and WriteFile at the
  // offsets an OVERLAPPED names, FlushFileBuffers, MoveFileExA.
  HANDLE in = CreateFileA(inputPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return WriteResult::kReadFailed;
  BY_HANDLE_FILE_INFORMATION inInfo, outInfo;
  if (!GetFileInformationByHandle(in, &inInfo)) {
    CloseHandle(in);
    return WriteResult::kReadFailed;
  }
  if ((static_cast<uint64_t>(inInfo.nFileSizeHigh) << 32 | inInfo.nFileSizeLow) != inputSize) {
    CloseHandle(in);
    return WriteResult::kInputChanged;
  }
  HANDLE existing = CreateFileA(outputPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    bool same = GetFileInformationByHandle(existing, &outInfo) &&
                outInfo.dwVolumeSerialNumber == inInfo.dwVolumeSerialNumber &&
                outInfo.nFileIndexHigh == inInfo.nFileIndexHigh && outInfo.nFileIndexLow == inInfo.nFileIndexLow;
    CloseHandle(existing);
    if (same) {
      CloseHandle(in);
      return WriteResult::kSameFile;
    }
  }
  HANDLE out = CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return WriteResult::kWriteFailed;
  }
  auto writeAt = [out](uint64_t offset, const char* bytes, size_t size) {
    while (size > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size), put = 0;
      if (!WriteFile(out, bytes, chunk, &put, &at) || put == 0) return false;
      bytes += put;
      size -= put;
      offset += put;
    }
    return true;
  };
  WriteResult result = WriteResult::kWritten;
  std::vector<char> buffer(kCopyBuffer);
  for (uint64_t done = 0; result == WriteResult::kWritten && done < inputSize;) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(done);
    at.OffsetHigh = static_cast<DWORD>(done >> 32);
    DWORD want = static_cast<DWORD>(inputSize - done < buffer.size() ? inputSize - done : buffer.size()), got = 0;
    if (!ReadFile(in, buffer.data(), want, &got, &at) || got == 0) {
      result = WriteResult::kReadFailed;
    } else if (!writeAt(done, buffer.data(), got)) {
      result = WriteResult::kWriteFailed;
    }
    done += got;
  }
  CloseHandle(in);
  for (const auto& patch : update.patches) {
    if (result == WriteResult::kWritten &&
        !writeAt(static_cast<uint64_t>(patch.first) * kSector, patch.second.data(), patch.second.size())) {
      result = WriteResult::kWriteFailed;
    }
  }
  if (result == WriteResult::kWritten && update.appendOffset > inputSize) {
    std::string zeros(static_cast<size_t>(update.appendOffset - inputSize), '\0');
    if (!writeAt(inputSize, zeros.data(), zeros.size())) result = WriteResult::kWriteFailed;
  }
  uint64_t offset = update.appendOffset;
  for (const std::string& piece : update.appended) {
    if (result == WriteResult::kWritten && !writeAt(offset, piece.data(), piece.size())) result = WriteResult::kWriteFailed;
    offset += piece.size();
  }
  if (!FlushFileBuffers(out) && result == WriteResult::kWritten) result = WriteResult::kWriteFailed;
  CloseHandle(out);
  if (result == WriteResult::kWritten &&
      !MoveFileExA(temporary.c_str(), outputPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result = WriteResult::kWriteFailed;
  }
  if (result != WriteResult::kWritten) DeleteFileA(temporary.c_str());
  return result;
#else
  int in = open(inputPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return WriteResult::kReadFailed;
  struct stat inStatus, outStatus;
  if (fstat(in, &inStatus) != 0 || !S_ISREG(inStatus.st_mode)) {
    close(in);
    return WriteResult::kReadFailed;
  }
  if (static_cast<uint64_t>(inStatus.st_size) != inputSize) {
    close(in);
    return WriteResult::kInputChanged;
  }
  if (stat(outputPath.c_str(), &outStatus) == 0 && outStatus.st_dev == inStatus.st_dev &&
      outStatus.st_ino == inStatus.st_ino) {
    close(in);
    return WriteResult::kSameFile;
  }
  RemoveStaleTemporaries(outputPath);
  int out = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0 && errno == EEXIST) {
    // Left by a run of this same process id that was killed.
    unlink(temporary.c_str());
    out = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
  if (out < 0) {
    close(in);
    return WriteResult::kWriteFailed;
  }
  WriteResult result = WriteAll(in, out, inputSize, update);
  close(in);
  if (close(out) != 0 && result == WriteResult::kWritten) result = WriteResult::kWriteFailed;
  if (result == WriteResult::kWritten && rename(temporary.c_str(), outputPath.c_str()) != 0) {
    result = WriteResult::kWriteFailed;
  }
  if (result != WriteResult::kWritten) unlink(temporary.c_str());
  return result;
#endif
}

}  // namespace o2s::iso
