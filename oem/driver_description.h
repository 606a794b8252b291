// A driver description file (txtsetup.oem) as a run reads it, for the run
// and for the page: the option list, the disks, and per option everything
// its sections say. The run reads one option at a time and writes it before
// it reads the next, so that each option's messages come just before its
// own output; the page reads them all the same way. Fixed buffers, no
// allocation: every text is a view into a buffer of the structure it came
// with.
#ifndef OEM2SIF_OEM_DRIVER_DESCRIPTION_H
#define OEM2SIF_OEM_DRIVER_DESCRIPTION_H

#include "oem/oem_reader.h"

namespace o2s {

// The most options a run takes, and the bytes of the "scsi" section it
// reads them from.
const unsigned kMaxOptions = 40;
const unsigned kOptionSectionCapacity = 4000;
// The "Disks" section: tags and their entries.
const unsigned kMaxDisks = 40;
const unsigned kDisksSectionCapacity = 4000;
// An option's files section: its file lines.
const unsigned kMaxFileLines = 64;
const unsigned kFilesSectionCapacity = 4000;
// Per option: the section names built from its key, the "driver" value,
// and its hardware-id section.
const unsigned kSectionNameCapacity = 100;
const unsigned kDriverValueCapacity = 100;
const unsigned kIdSectionCapacity = 10000;

// Cuts an option's description out of its "scsi" value, in place: the text
// between the quotes, or up to the first comma or quote. Returns where the
// description starts (inside `value`).
char* CleanDescription(char* value);

// The option list and the disks of one file.
struct DriverDescription {
  unsigned optionCount;
  char* optionKeys[kMaxOptions];
  char* descriptions[kMaxOptions];  // cleaned
  unsigned diskCount;
  char* diskTags[kMaxDisks];
  // The third field of each disk's entry, as written (`\` is the folder of
  // the file itself, `\i386\Win2003` one below it); null when the entry has
  // no third field.
  char* diskDirectories[kMaxDisks];
  char optionSection[kOptionSectionCapacity];
  char disksSection[kDisksSectionCapacity];
};

enum class DriverFileKind : unsigned char { kDriver, kInf, kCatalog, kDll };

// One "driver", "inf", "catalog" or "dll" line of an option's files section
// (the key in any letter case), its value split as the driver file's is.
struct DriverFileLine {
  DriverFileKind kind;
  const char* diskTag;
  const char* fileName;
  // A driver line's third field (the option's configuration key); "" when
  // it has none, and on lines of other kinds.
  const char* configKey;
  // Its disk's directory (see DriverDescription); null when the disk is not
  // in "Disks" or has no directory there.
  const char* diskDirectory;
};

// Everything one option's sections say, as the run takes it.
struct OptionDescription {
  unsigned index;  // in the option list
  const char* key;
  const char* description;
  // The file the run writes: what ReadDriverFile returns (its first
  // "driver" line); null when there is none.
  const char* driverFile;
  // The hardware ids and their services, as ReadHardwareIds returns them
  // (services lower case); services[0] is the option's service.
  unsigned idCount;
  char* ids[kMaxHardwareIds];
  char* services[kMaxHardwareIds];
  // Every file line, in file order; lines without a file name are left out.
  unsigned fileCount;
  DriverFileLine files[kMaxFileLines];

  char sectionName[kSectionNameCapacity];
  char driverValue[kDriverValueCapacity];
  char idSection[kIdSectionCapacity];
  char filesSection[kFilesSectionCapacity];
};

// Reads the option list of `fileName` ("scsi": at most kMaxOptions entries,
// every description cleaned) and its "Disks" entries. Prints nothing.
void ReadDriverDescription(const char* fileName, DriverDescription* driver);

// Reads option `index` (below driver.optionCount) into `option`: its driver
// file and hardware ids through ReadDriverFile and ReadHardwareIds, which
// print their messages, then its file lines. Returns false, having printed
// why and read nothing, when the option key is too long for its section
// names; the run skips such an option.
bool ReadOptionDescription(const char* fileName, const DriverDescription& driver,
                           unsigned index, OptionDescription* option);

}  // namespace o2s

#endif  // OEM2SIF_OEM_DRIVER_DESCRIPTION_H
