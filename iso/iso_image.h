// An ISO 9660 image as oem2sif reads it: its volume descriptors, its
// ISO 9660 tree and its Joliet tree, each directory checked as it is read.
// Only images whose every byte the update (iso/iso_update.h) can keep
// consistent are accepted; everything else is refused with a reason, and
// no byte is read that no descriptor or record points to.
//
// Refused: no ISO 9660 volume; a logical block other than 2048 bytes; an
// image cut short (smaller than its volume); several sessions (a volume
// descriptor set after the volume) or volumes; a UDF bridge (BEA01/NSR
// descriptors), a partition descriptor or a supplementary descriptor that
// is not Joliet (their trees would go stale); Rock Ridge (new files would
// lack its names and attributes); a partition table in the system area (an
// isohybrid image: its partition would not grow); interleaved files;
// directories with extended attribute records; and damage: a directory
// whose extents run past the volume, one reached twice (a loop), a record
// that is too short or crosses its sector, a directory that does not start
// with its "." and ".." records, a path table past the volume.
// Bounded: at most kMaxDirectories directories, kMaxDepth levels, each
// directory at most kMaxDirectoryBytes; whatever the records claim, memory
// stays within these.
#ifndef OEM2SIF_ISO_ISO_IMAGE_H
#define OEM2SIF_ISO_ISO_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "iso/image_reader.h"

namespace o2s::iso {

const uint32_t kSector = 2048;
const unsigned kMaxDirectories = 100000;
const unsigned kMaxDepth = 64;
const uint32_t kMaxDirectoryBytes = 4u << 20;

enum class IsoProblem {
  kNone,
  kUnreadable,         // a read failed
  kNotIso,             // no primary volume descriptor at sector 16
  kBlockSize,          // logical block other than 2048
  kCut,                // smaller than its volume
  kSessions,           // another session's descriptors after the volume, or a volume set
  kUdf,                // a UDF bridge
  kOtherDescriptor,    // a partition or non-Joliet supplementary descriptor
  kRockRidge,
  kHybrid,             // a partition table in the system area
  kInterleaved,        // subject: the file
  kExtendedAttributes, // subject: the directory
  kPastEnd,            // subject: the record whose extent runs past the volume
  kLoop,               // subject: the directory reached twice
  kBadRecord,          // subject: the directory holding it
  kTooDeep,
  kTooMany,            // directories, or a directory too big
  kPathTable,          // a path table past the volume, or not listing a directory
  kMultiExtent,        // subject: a file of the setup folder in several extents
  kNameTooLong,        // subject: a new file's name the tree cannot hold
  kNameNotAscii,       // subject: a new file's name
  kFileTooBig,         // subject: a file over the caller's limit
  kNameTaken,          // subject: a new file's name that a folder of the setup folder has
  kNoJolietFolder,     // subject: the setup folder, which the Joliet tree does not hold
  kTooBig,             // the updated image would pass 2^32 sectors
};

// A directory record as read, with where it lies in the image.
struct Record {
  std::string identifier;  // the bytes recorded (Joliet: UCS-2 big-endian)
  uint32_t extent = 0;
  uint32_t size = 0;
  uint8_t flags = 0;       // 0x02 directory, 0x80 not the last extent
  uint8_t attributeSectors = 0;  // extended attribute record before the data
  uint64_t offset = 0;     // of the record's first byte in the image
  uint8_t length = 0;      // of the whole record
  std::string raw;         // the record's bytes
  bool IsDirectory() const { return (flags & 0x02) != 0; }
};

// A directory of one tree.
struct Directory {
  std::string path;        // names from the root, '/'-separated, as readable text ("" the root)
  uint32_t extent = 0;
  uint32_t size = 0;
  uint64_t recordOffset = 0;  // its record in its parent (the descriptor's root record for the root)
  int parent = -1;         // index in Tree::directories; -1 for the root
  unsigned depth = 0;
  // Filled for the ISO 9660 tree: what tells a setup folder.
  bool holdsSetupFile = false;   // TXTSETUP.SIF
  bool holdsLoader = false;      // SETUPLDR.BIN
  unsigned files = 0;
};

struct Tree {
  bool present = false;
  bool joliet = false;
  uint32_t descriptorSector = 0;
  uint32_t pathTableSize = 0;
  uint32_t pathTables[4] = {0, 0, 0, 0};  // L, optional L, M, optional M (0: none)
  std::vector<Directory> directories;     // [0] the root, parents before children
};

struct Image {
  uint64_t size = 0;          // the image file's bytes
  uint32_t volumeSectors = 0; // the primary descriptor's volume space size
  uint32_t terminatorSector = 0;
  Tree iso;
  Tree joliet;                // present only where the image has one
};

// Reads and checks `reader`'s image: descriptors, then every directory of
// both trees. Returns kNone and fills *image, or the first problem met
// with *subject naming its place (a path or "sector N"), *image then
// unspecified. Never reads outside [0, reader.Size()), nor a byte no
// descriptor or record points to; memory stays within the bounds above.
IsoProblem ReadImage(ImageReader& reader, Image* image, std::string* subject);

// The records of directory `dir` of `tree` (after ReadImage accepted the
// image), "." and ".." first, in recorded order. Returns kNone or the
// problem (as ReadImage would find it).
IsoProblem ReadRecords(ImageReader& reader, const Image& image, const Tree& tree, const Directory& dir,
                       std::vector<Record>* records, std::string* subject);

// A record's name as a file name: the ISO 9660 identifier without its
// ";version" and a lone trailing '.'; Joliet's UCS-2 likewise, as UTF-8
// (unpaired surrogates as U+FFFD). "." and ".." for the two special ones.
std::string NameOf(const Record& record, bool joliet);

// Reads the data of a file record into *bytes: exactly what the record
// points to, refusing (kFileTooBig) one of more than `limit` bytes and
// (kMultiExtent) one not in a single extent.
IsoProblem ReadFileData(ImageReader& reader, const Image& image, const Record& record, uint64_t limit,
                        std::string* bytes, std::string* subject);

// The directories of the ISO 9660 tree that hold a TXTSETUP.SIF (indices
// into image.iso.directories, in tree order), and the one to integrate
// into: the only one; else the one that holds SETUPLDR.BIN (what the CD
// boots), then the one with most files, then the first. -1 when none.
std::vector<int> SetupFolders(const Image& image);
int ChooseSetupFolder(const Image& image);

// ASCII letters folded to lower case; how names compare across the trees
// and with the setup folder's names.
std::string FoldCase(const std::string& name);

}  // namespace o2s::iso

#endif  // OEM2SIF_ISO_ISO_IMAGE_H
