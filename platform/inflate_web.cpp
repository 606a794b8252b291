// Inflate in the page: the worker that runs the module carries fflate (it
// zips the results), so the module does not carry a second inflater.
#include <emscripten.h>

#include "platform/platform.h"

// fflate writes into `out` and drops what does not fit, so one byte more
// than the capacity tells a stream that is too big, without holding all of
// it. It throws on a damaged or unfinished stream.
// clang-format off
EM_JS(int, InflateInWorker, (const void* input, size_t inputSize, const void* dictionary,
                             size_t dictionarySize, void* output, size_t capacity,
                             size_t* outputSize), {
  try {
    const options = { out: new Uint8Array(capacity + 1) };
    if (dictionarySize > 0) options.dictionary = HEAPU8.slice(dictionary, dictionary + dictionarySize);
    const bytes = fflate.inflateSync(HEAPU8.slice(input, input + inputSize), options);
    if (bytes.length > capacity) return 0;
    HEAPU8.set(bytes, output);
    HEAPU32[outputSize >> 2] = bytes.length;
    return 1;
  } catch (error) {
    return 0;
  }
});
// clang-format on

namespace o2s {

int InflateRaw(const void* input, size_t inputSize, const void* dictionary,
               size_t dictionarySize, void* output, size_t capacity,
               size_t* outputSize) {
  *outputSize = 0;
  const size_t kWindow = 32768;
  if (dictionarySize > kWindow) {
    dictionary = static_cast<const char*>(dictionary) + dictionarySize - kWindow;
    dictionarySize = kWindow;
  }
  return InflateInWorker(input, inputSize, dictionary, dictionarySize, output, capacity,
                         outputSize);
}

}  // namespace o2s
