// Any bytes as a driver file, plain or a cabinet (unpacked through zlib as
// the native check does): no crash and no access outside the buffers. The
// output buffer is small, so the too-big paths are taken too.
#include <cstddef>
#include <cstdint>

#include "check/driver_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static unsigned char unpacked[1 << 16];
  o2s::PeImage image;
  o2s::ReadDriverImage(data, size, unpacked, sizeof unpacked, &image);
  return 0;
}
