#include "check/driver_image.h"

#include "check/cabinet.h"

namespace o2s {

DriverImageResult ReadDriverImage(const unsigned char* bytes, size_t size,
                                  unsigned char* unpacked, size_t capacity,
                                  PeImage* image) {
  if (size == 0) return kDriverEmpty;
  if (IsCabinet(bytes, size)) {
    size_t fileSize = 0;
    switch (UnpackFirstCabinetFile(bytes, size, unpacked, capacity, &fileSize)) {
      case kCabinetUnpacked:
        bytes = unpacked;
        size = fileSize;
        if (size == 0) return kDriverEmpty;
        break;
      case kCabinetOtherMethod:
        return kDriverOtherPacking;
      case kCabinetTooBig:
        return kDriverTooBig;
      case kCabinetUnknownMethod:
        return kDriverUnknownPacking;
      case kCabinetContinued:
        return kDriverContinuedCabinet;
      case kNotCabinet:
      case kCabinetDamaged:
        return kDriverDamagedCabinet;
    }
  }
  if (!ReadPeImage(bytes, size, image)) return kDriverNotImage;
  return image->withinFile ? kDriverImage : kDriverCut;
}

}  // namespace o2s
