// Reads the first file out of a Microsoft cabinet: a setup source's
// compressed files are cabinets of one file each (viostor.sy_ holds
// viostor.sys). Stored and MSZIP folders are unpacked, MSZIP through the
// platform's InflateRaw; LZX and Quantum ones (Microsoft's own files) are
// recognised and left packed. A plain procedure over the caller's bytes and
// buffer: nothing is read outside the one or written outside the other,
// whatever the bytes hold, and nothing is allocated.
#ifndef OEM2SIF_CHECK_CABINET_H
#define OEM2SIF_CHECK_CABINET_H

#include <cstddef>

namespace o2s {

enum CabinetResult {
  kCabinetUnpacked,     // the first file is in out[0, *fileSize)
  kNotCabinet,          // no cabinet header ("MSCF")
  kCabinetOtherMethod,  // its folder is LZX or Quantum compressed: not unpacked
  kCabinetTooBig,       // unpacking it takes more than `capacity` bytes
  // A header or block runs past the bytes, a block does not inflate to the
  // size it states, or the cabinet holds no file.
  kCabinetDamaged,
  kCabinetUnknownMethod,  // a compression type that no cabinet tool knows (4 to 15)
  // One of a set (spanning): continued from a previous cabinet, or its first
  // file lies partly in another one.
  kCabinetContinued,
};

// Whether the bytes start as a cabinet does.
bool IsCabinet(const unsigned char* bytes, size_t size);

// The compression type of the first file's folder (0 stored, 1 MSZIP,
// 2 Quantum, 3 LZX, 4 to 15 unknown), or -1 when the cabinet does not tell.
int CabinetMethod(const unsigned char* bytes, size_t size);

// Unpacks the first file of the cabinet bytes[0, size) into out. The folder
// that holds it is unpacked from its start up to the file's end, so
// `capacity` must hold that much; the file is then moved to out[0].
// *fileSize is set for kCabinetUnpacked only. Block checksums are not
// verified.
CabinetResult UnpackFirstCabinetFile(const unsigned char* bytes, size_t size,
                                     unsigned char* out, size_t capacity,
                                     size_t* fileSize);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_CABINET_H
