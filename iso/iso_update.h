// What writing files into an image's setup folder changes, decided before
// anything is written, and the writing of it.
//
// Every byte of the image stays where it was (the boot record and catalog,
// a boot image no directory names, every file). New and replaced files, and
// the setup folder's directory in each tree with the directories of every
// folder below it (so that each lies after its parent, as readers that
// read the disc in order need), are appended after the image; the only
// bytes patched are the volume size (in the primary and the Joliet
// descriptor), the moved folders' entries in each path table (L and M, and
// the optional copies), and the setup folder's record in its parent (or the
// descriptor's root record). Path tables never grow: no folder is added. Names stay as they were; a new file is named as the
// folder's own files are: upper case, with ";1" where they have it (ISO
// 9660), and as given, with ";1" likewise (Joliet). A new record takes the
// date of the folder's TXTSETUP.SIF record, so that one input gives one
// output.
#ifndef OEM2SIF_ISO_ISO_UPDATE_H
#define OEM2SIF_ISO_ISO_UPDATE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "iso/iso_image.h"

namespace o2s::iso {

// A file to write into the setup folder: its name (any letter case; one
// the folder holds is replaced) and its bytes.
struct NewFile {
  std::string name;
  std::string bytes;
};

struct FileChange {
  std::string isoIdentifier;     // as recorded in the ISO 9660 tree
  std::string jolietIdentifier;  // UCS-2 big-endian; "" without a Joliet tree
  bool replaced = false;         // false: a new entry
  uint32_t extent = 0;
  uint32_t size = 0;
};

struct Update {
  uint64_t appendOffset = 0;          // where the appended sectors start
  std::vector<std::string> appended;  // in order, each whole sectors
  std::map<uint32_t, std::string> patches;  // sector -> its new 2048 bytes
  uint32_t volumeSectors = 0;         // the updated image's
  std::vector<FileChange> files;      // in the order given
  uint32_t isoFolderExtent = 0;       // where the setup folder's directories went
  uint32_t jolietFolderExtent = 0;
};

// Plans writing `files` into directory `setupFolder` (an index into
// image.iso.directories) of the image ReadImage accepted; the folder of the
// Joliet tree that holds the same TXTSETUP.SIF is changed alike. Of two
// files of one name (any letter case) the later is written. Returns kNone
// and fills *update, or the problem (a multi-extent file in the folder, the
// folders below it holding more than 16 MB of directories, a
// name the trees cannot hold or that a subfolder has, a path table that
// does not list the folder, damage) with *subject naming it. Reads only
// directories (the Joliet tree's, to find the folder; those moved), the
// path tables and the sectors it patches.
IsoProblem PlanUpdate(ImageReader& reader, const Image& image, int setupFolder, const std::vector<NewFile>& files,
                      Update* update, std::string* subject);

// A piece of the updated image: `size` bytes of the input from `from`, or
// `bytes` (a patched sector, zeros up to the appended part, an appended
// piece).
struct OutputPiece {
  bool fromInput = false;
  uint64_t from = 0;
  uint64_t size = 0;
  std::string bytes;
};

// The updated image of an input of `inputSize` bytes as pieces in order,
// adjacent ones of the input merged: what a writer that cannot patch in
// place (the page's download, a Blob of the input's slices and these bytes)
// concatenates. The same bytes as WriteUpdatedImage writes.
std::vector<OutputPiece> LayOut(const Update& update, uint64_t inputSize);

enum class WriteResult {
  kWritten,
  kSameFile,      // the output names the image being read
  kInputChanged,  // the image is no longer the size it was read at
  kReadFailed,
  kWriteFailed,   // a full disk, no permission: nothing left at the output's name
};

// Writes the updated image to `outputPath`: a copy of `inputPath` (a
// reflink or the kernel's copy where the file system offers one, else
// streamed through a 1 MB buffer: memory stays bounded whatever the
// image's size), the patched sectors, then the appended ones, into a
// temporary file created beside the output, flushed to the disk and
// renamed over it: the output's name holds the old file or the whole new
// one, never a torn one. On failure the temporary file is removed.
WriteResult WriteUpdatedImage(const std::string& inputPath, uint64_t inputSize, const Update& update,
                              const std::string& outputPath);

}  // namespace o2s::iso

#endif  // OEM2SIF_ISO_ISO_UPDATE_H
