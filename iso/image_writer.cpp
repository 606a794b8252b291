// WriteUpdatedImage: the copy, the patches and the appended sectors, into
// a temporary file renamed over the output.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "iso/iso_update.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>
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
#ifdef FICLONE
  if (ioctl(out, FICLONE, in) == 0) return WriteResult::kWritten;
#endif
  uint64_t done = 0;
  while (done < size) {
    loff_t inOffset = static_cast<loff_t>(done), outOffset = static_cast<loff_t>(done);
    ssize_t n = copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(std::min<uint64_t>(size - done, 1u << 30)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
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
  struct _stati64 in, out;
  if (_stati64(inputPath.c_str(), &in) != 0) return WriteResult::kReadFailed;
  if (static_cast<uint64_t>(in.st_size) != inputSize) return WriteResult::kInputChanged;
  char fullIn[MAX_PATH], fullOut[MAX_PATH];
  if (GetFullPathNameA(inputPath.c_str(), MAX_PATH, fullIn, nullptr) &&
      GetFullPathNameA(outputPath.c_str(), MAX_PATH, fullOut, nullptr) && _stricmp(fullIn, fullOut) == 0) {
    return WriteResult::kSameFile;
  }
  (void)out;
  FILE* source = fopen(inputPath.c_str(), "rb");
  if (source == nullptr) return WriteResult::kReadFailed;
  FILE* target = fopen(temporary.c_str(), "wb+");
  if (target == nullptr) {
    fclose(source);
    return WriteResult::kWriteFailed;
  }
  WriteResult result = WriteResult::kWritten;
  std::vector<char> buffer(kCopyBuffer);
  uint64_t done = 0;
  while (result == WriteResult::kWritten && done < inputSize) {
    size_t n = fread(buffer.data(), 1, buffer.size(), source);
    if (n == 0) result = WriteResult::kReadFailed;
    if (n > 0 && fwrite(buffer.data(), 1, n, target) != n) result = WriteResult::kWriteFailed;
    done += n;
  }
  fclose(source);
  for (const auto& patch : update.patches) {
    if (result != WriteResult::kWritten) break;
    if (_fseeki64(target, static_cast<long long>(patch.first) * kSector, SEEK_SET) != 0 ||
        fwrite(patch.second.data(), 1, patch.second.size(), target) != patch.second.size()) {
      result = WriteResult::kWriteFailed;
    }
  }
  if (result == WriteResult::kWritten && _fseeki64(target, 0, SEEK_END) == 0) {
    std::string zeros(static_cast<size_t>(update.appendOffset - inputSize), '\0');
    if (fwrite(zeros.data(), 1, zeros.size(), target) != zeros.size()) result = WriteResult::kWriteFailed;
    for (const std::string& piece : update.appended) {
      if (result == WriteResult::kWritten && fwrite(piece.data(), 1, piece.size(), target) != piece.size()) {
        result = WriteResult::kWriteFailed;
      }
    }
  }
  if (fflush(target) != 0 || _commit(_fileno(target)) != 0) result = WriteResult::kWriteFailed;
  if (fclose(target) != 0) result = WriteResult::kWriteFailed;
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
