#include "iso/range_cache_reader.h"

#include <cstring>

namespace o2s::iso {

bool RangeCacheReader::Read(uint64_t offset, void* out, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  uint64_t first = offset / chunk_, last = (offset + size - 1) / chunk_;
  bool whole = true;
  for (uint64_t c = first; c <= last; ++c) {
    if (chunks_.count(c) == 0) {
      needed_[c] = true;
      whole = false;
    }
  }
  if (!whole) return false;
  unsigned char* to = static_cast<unsigned char*>(out);
  for (uint64_t c = first; c <= last; ++c) {
    const std::string& chunk = chunks_[c];
    uint64_t start = c * chunk_;
    uint64_t from = offset > start ? offset - start : 0;
    uint64_t end = offset + size - start < chunk.size() ? offset + size - start : chunk.size();
    memcpy(to, chunk.data() + from, end - from);
    to += end - from;
  }
  return true;
}

std::vector<ByteRange> RangeCacheReader::Needed() const {
  std::vector<ByteRange> ranges;
  for (const auto& entry : needed_) {
    uint64_t start = entry.first * chunk_;
    uint64_t size = size_ - start < chunk_ ? size_ - start : chunk_;
    if (!ranges.empty() && ranges.back().offset + ranges.back().size == start) {
      ranges.back().size += size;
    } else {
      ranges.push_back({start, size});
    }
  }
  return ranges;
}

bool RangeCacheReader::Add(uint64_t offset, const std::string& bytes) {
  if (offset % chunk_ != 0 || offset > size_ || bytes.size() > size_ - offset) return false;
  if (bytes.size() % chunk_ != 0 && offset + bytes.size() != size_) return false;
  uint64_t added = 0;
  for (uint64_t at = 0; at < bytes.size(); at += chunk_) {
    if (chunks_.count((offset + at) / chunk_) == 0) added += bytes.size() - at < chunk_ ? bytes.size() - at : chunk_;
  }
  if (added > limit_ || cached_ > limit_ - added) return false;
  for (uint64_t at = 0; at < bytes.size(); at += chunk_) {
    uint64_t c = (offset + at) / chunk_;
    if (chunks_.count(c) != 0) continue;
    chunks_[c] = bytes.substr(at, chunk_);
    needed_.erase(c);
  }
  cached_ += added;
  return true;
}

}  // namespace o2s::iso
