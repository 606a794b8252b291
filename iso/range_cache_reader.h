// An image read from a cache of byte ranges, for a caller that can only
// fetch asynchronously (the page's worker reads a File's slices so): a read
// of bytes the cache lacks fails at once and records them as needed; the
// caller fetches those, adds them and runs its work again from the top.
//
// The cache holds whole chunks (kCacheChunk bytes unless told, aligned; the
// last one up to the image's end), so a rerun that reads a little further,
// as the directory walk does, usually finds its bytes already fetched.
#ifndef OEM2SIF_ISO_RANGE_CACHE_READER_H
#define OEM2SIF_ISO_RANGE_CACHE_READER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "iso/image_reader.h"

namespace o2s::iso {

const uint32_t kCacheChunk = 64u << 10;

struct ByteRange {
  uint64_t offset = 0;
  uint64_t size = 0;
};

class RangeCacheReader : public ImageReader {
 public:
  // `size`: the image's bytes; `limit`: the cache's bytes at most; `chunk`
  // (not 0) what is fetched at least.
  RangeCacheReader(uint64_t size, uint64_t limit, uint32_t chunk = kCacheChunk)
      : size_(size), limit_(limit), chunk_(chunk == 0 ? kCacheChunk : chunk) {}
  uint64_t Size() const override { return size_; }
  // True when every byte is cached; else records the chunks it lacks (see
  // Needed) and returns false. A range reaching past Size() fails without
  // recording anything: that is the image's fault, not the cache's.
  bool Read(uint64_t offset, void* out, size_t size) override;
  bool Lacking() const override { return !needed_.empty(); }

  // The chunks reads missed since the last ForgetNeeded, merged into
  // ranges, in offset order; each within Size().
  std::vector<ByteRange> Needed() const;
  uint64_t NeededBytes() const { return static_cast<uint64_t>(needed_.size()) * chunk_; }
  void ForgetNeeded() { needed_.clear(); }

  // Adds bytes [offset, offset + bytes.size()): offset chunk-aligned, the
  // bytes whole chunks (the last may end at Size()). Returns false, adding
  // nothing, for a range not so laid out or past Size(), or one that would
  // take the cache past its limit.
  bool Add(uint64_t offset, const std::string& bytes);
  uint64_t CachedBytes() const { return cached_; }

 private:
  uint64_t size_;
  uint64_t limit_;
  uint32_t chunk_;
  uint64_t cached_ = 0;
  std::map<uint64_t, std::string> chunks_;  // chunk index -> its bytes
  std::map<uint64_t, bool> needed_;         // chunk indices
};

}  // namespace o2s::iso

#endif  // OEM2SIF_ISO_RANGE_CACHE_READER_H
