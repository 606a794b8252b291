#include "iso/image_reader.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstring>

namespace o2s::iso {

bool MemoryReader::Read(uint64_t offset, void* out, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size > 0) memcpy(out, bytes_ + offset, size);
  return true;
}

namespace {

int SeekTo(FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

}  // namespace

FileReader::~FileReader() {
  if (file_ != nullptr) fclose(file_);
}

bool FileReader::Open(const std::string& path) {
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
  size_ = 0;
  // Only a regular file: opening a FIFO would wait for a writer.
#ifdef _WIN32
  struct _stati64 status;
  if (_stati64(path.c_str(), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) return false;
  file_ = fopen(path.c_str(), "rb");
#else
  // Opened without waiting, then checked: a name swapped for a FIFO in
  // between is refused, never waited on.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return false;
  }
  file_ = fdopen(fd, "rb");
  if (file_ == nullptr) close(fd);
#endif
  if (file_ == nullptr) return false;
  size_ = static_cast<uint64_t>(status.st_size);
  return true;
}

bool FileReader::Read(uint64_t offset, void* out, size_t size) {
  if (file_ == nullptr || offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  if (SeekTo(file_, offset) != 0) return false;
  return fread(out, 1, size, file_) == size;
}

}  // namespace o2s::iso
