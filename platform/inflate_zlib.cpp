// Inflate on Linux and Windows: zlib, linked statically.
#include <zlib.h>

#include <climits>

#include "platform/platform.h"

namespace o2s {

int InflateRaw(const void* input, size_t inputSize, const void* dictionary,
               size_t dictionarySize, void* output, size_t capacity,
               size_t* outputSize) {
  *outputSize = 0;
  // zlib counts in unsigned int; a cabinet block is far smaller.
  if (inputSize > UINT_MAX || capacity > UINT_MAX) return 0;
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return 0;
  bool ok = true;
  if (dictionarySize > 0) {
    const size_t kWindow = 32768;
    const Bytef* history = static_cast<const Bytef*>(dictionary);
    if (dictionarySize > kWindow) {
      history += dictionarySize - kWindow;
      dictionarySize = kWindow;
    }
    ok = inflateSetDictionary(&stream, history, static_cast<uInt>(dictionarySize)) == Z_OK;
  }
  stream.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(input));
  stream.avail_in = static_cast<uInt>(inputSize);
  stream.next_out = static_cast<Bytef*>(output);
  stream.avail_out = static_cast<uInt>(capacity);
  ok = ok && inflate(&stream, Z_FINISH) == Z_STREAM_END;
  *outputSize = capacity - stream.avail_out;
  inflateEnd(&stream);
  return ok ? 1 : 0;
}

}  // namespace o2s
