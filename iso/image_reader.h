// Reading an ISO image by offset: the one thing the image code needs from
// where the image lives (a file here; slices of a browser File later). The
// image code never reads a byte that a descriptor or record does not point
// to, so a reader may fetch on demand.
#ifndef OEM2SIF_ISO_IMAGE_READER_H
#define OEM2SIF_ISO_IMAGE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace o2s::iso {

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  // The image's size in bytes.
  virtual uint64_t Size() const = 0;
  // Copies bytes [offset, offset + size) into out. Returns false, with out
  // unspecified, when any of them lies at or past Size() or cannot be read.
  virtual bool Read(uint64_t offset, void* out, size_t size) = 0;
  // True when a Read failed only for bytes the reader has not fetched yet
  // (RangeCacheReader): the failure is then no verdict on the image.
  virtual bool Lacking() const { return false; }
};

// An image held in memory (tests, the fuzz target). Keeps a pointer only:
// `bytes` must outlive the reader.
class MemoryReader : public ImageReader {
 public:
  MemoryReader(const void* bytes, size_t size) : bytes_(static_cast<const unsigned char*>(bytes)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t size) override;

 private:
  const unsigned char* bytes_;
  size_t size_;
};

// An image file (64-bit offsets on every system; on Windows through the
// calls Windows 2000 offers).
class FileReader : public ImageReader {
 public:
  FileReader() = default;
  ~FileReader() override;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  // Opens `path` for reading. Returns false when it cannot be opened, or is
  // no regular file (a FIFO, a device or a folder is never waited on).
  bool Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t size) override;

 private:
  void* file_ = nullptr;  // FILE* (POSIX) or HANDLE (Windows)
  uint64_t size_ = 0;
};

}  // namespace o2s::iso

#endif  // OEM2SIF_ISO_IMAGE_READER_H
