#include "iso/image_reader.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace o2s::iso {

bool MemoryReader::Read(uint64_t offset, void* out, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size > 0) memcpy(out, bytes_ + offset, size);
  return true;
}

#ifdef _WIN32

FileReader::~FileReader() {
  if (file_ != nullptr) CloseHandle(file_);
}

bool FileReader::Open(const std::string& path) {
  if (file_ != nullptr) CloseHandle(file_);
  file_ = nullptr;
  size_ = 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return false;
  }
  file_ = file;
  size_ = static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  return true;
}

bool FileReader::Read(uint64_t offset, void* out, size_t size) {
  if (file_ == nullptr || offset > size_ || size > size_ - offset) return false;
  char* p = static_cast<char*>(out);
  while (size > 0) {
    // A synchronous handle reads at the offset an OVERLAPPED names.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size), got = 0;
    if (!ReadFile(file_, p, chunk, &got, &at) || got == 0) return false;
    p += got;
    size -= got;
    offset += got;
  }
  return true;
}

#else

FileReader::~FileReader() {
  if (file_ != nullptr) fclose(static_cast<FILE*>(file_));
}

bool FileReader::Open(const std::string& path) {
  if (file_ != nullptr) fclose(static_cast<FILE*>(file_));
  file_ = nullptr;
  size_ = 0;
  // Opened without waiting, then checked: a name swapped for a FIFO in
  // between is refused, never waited on.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return false;
  }
  FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return false;
  }
  file_ = file;
  size_ = static_cast<uint64_t>(status.st_size);
  return true;
}

bool FileReader::Read(uint64_t offset, void* out, size_t size) {
  if (file_ == nullptr || offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  FILE* file = static_cast<FILE*>(file_);
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return fread(out, 1, size, file) == size;
}

#endif

}  // namespace o2s::iso
