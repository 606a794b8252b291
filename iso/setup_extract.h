// Which files of an image's setup folder the engine must see, so that the
// survey and the writer decide exactly as for a folder: the setup files
// they read and edit, and every file a driver could bring under the same
// name (a conflict, or the same bytes already there).
#ifndef OEM2SIF_ISO_SETUP_EXTRACT_H
#define OEM2SIF_ISO_SETUP_EXTRACT_H

#include <string>
#include <vector>

#include "iso/iso_image.h"

namespace o2s::iso {

// The file records of `records` (a setup folder's, as ReadRecords gives
// them) named txtsetup.sif, txtsetup.sif.orig, dosnet.inf or
// dosnet.inf.orig, or, in any letter case, one of `driverNames` plain or
// compressed as setup names it (check.h: CompressedName), in recorded
// order, each once.
std::vector<Record> RecordsToExtract(const std::vector<Record>& records, const std::vector<std::string>& driverNames);

// The names of the regular files in `folder` and below it (links and
// junctions not followed, 32 levels at most), at most `limit` of them:
// what a driver folder could bring under a setup file's name. A folder
// that cannot be read adds nothing.
std::vector<std::string> FileNamesBelow(const std::string& folder, size_t limit);

}  // namespace o2s::iso

#endif  // OEM2SIF_ISO_SETUP_EXTRACT_H
