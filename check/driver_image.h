// A driver file as setup would take it, plain or compressed: the cabinet
// unpacked where it is one, then the PE image read. The check reads each
// driver file through it, and the page each driver file's architecture.
#ifndef OEM2SIF_CHECK_DRIVER_IMAGE_H
#define OEM2SIF_CHECK_DRIVER_IMAGE_H

#include <cstddef>

#include "check/pe_image.h"

namespace o2s {

enum DriverImageResult {
  kDriverImage,           // a PE image: *image is filled
  kDriverEmpty,           // no bytes (also a cabinet whose file is empty)
  kDriverNotImage,        // no PE image (also in a cabinet)
  kDriverOtherPacking,    // a cabinet packed with LZX or Quantum: not read
  kDriverTooBig,          // its cabinet unpacks to more than `capacity`
  kDriverDamagedCabinet,  // a cabinet that cannot be unpacked
  kDriverUnknownPacking,  // a cabinet of an unknown compression type (CabinetMethod tells it)
  kDriverContinuedCabinet,  // one cabinet of a set (spanning): setup cannot unpack it alone
  // A PE image (*image is filled) whose headers or sections run past the
  // file's end: cut short, as a half-copied file is. Windows cannot load it.
  kDriverCut,
};

// Reads bytes[0, size). A cabinet is unpacked into `unpacked` (capacity
// bytes; untouched otherwise) and its first file read. Reads and writes
// nothing outside the given buffers.
DriverImageResult ReadDriverImage(const unsigned char* bytes, size_t size,
                                  unsigned char* unpacked, size_t capacity,
                                  PeImage* image);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_DRIVER_IMAGE_H
