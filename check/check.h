// The check of a finished setup folder, before the user burns it: what
// integrations added to or changed in txtsetup.sif, judged as text-mode
// setup (and winnt32.exe, through dosnet.inf) will take it. The same code
// runs in the native command oem2sif-check and in the page; it reaches the
// folder only through platform.h, keeps everything in the caller's
// workspace and allocates nothing.
//
// Only what setup reads is judged: txtsetup.sif, its backup and dosnet.inf
// up to their first 0x1A; anything after it is one finding.
//
// What is judged: the entries of [SCSI.Load], [SCSI] and
// [HardwareIdsDatabase] that differ from txtsetup.sif.orig (an entry the
// backup does not hold with the same key and value). Without a backup, or
// with an empty one, every [SCSI.Load] entry, and a note says so. Each
// service so touched that [SCSI.Load] lists (S = FILE,4) is checked:
// - [SCSI] lists S, and a [SourceDisksFiles] section lists FILE (the plain
//   one or that of the setup source's architecture; any when that is not
//   known);
// - FILE is in the folder, plain or compressed (setup's compressed name:
//   the extension's last letter made '_', viostor.sy_), in any ASCII
//   letter case; the plain one is read where both are;
// - it is not empty, it is a PE image of the native subsystem, built for
//   the setup source's machine (when that is known), and every module it
//   imports is in the folder, plain or compressed;
// - where the folder holds dosnet.inf, its [FloppyFiles.2] and [Files]
//   name FILE (d1,FILE);
// - GUI-mode setup installs the device again through Plug and Play, from
//   an INF: one of the INFs txtsetup.sif lists serves S (below), its
//   install section for that model copies only files the folder holds, and
//   dosnet.inf's [Files] names it.
// The INFs: the rows of [SourceDisksFiles] (and of the architecture's
// section, as above) of disk 1, in no subfolder, whose directory (field 8)
// is the inf folder ([WinntDirectories]' key whose value is inf; 20 where
// none is). With a backup, the rows it does not hold; without one, every
// row, but only plain files are read (a source's own INFs are compressed
// with LZX, which the check does not unpack), and at most kMaxInfReads
// files in all. Each row's file must be in the folder, plain or
// compressed; each file named *.inf is read once (check/inf_file.h), the
// serving one again for its install section. An INF serves S when its
// models list one of S's hardware ids (every [HardwareIdsDatabase] key
// naming S); one that only adds the service S is a finding of its own
// (none for an S without ids: that one is taken for S's INF). Where some INF
// could not be read, no INF serving S is no finding (a note says so).
// An added or changed hardware id whose service no *.Load section lists
// (setup loads from [SCSI.Load] and from the other *.Load lists alike) is
// a finding, once per service. txtsetup.sif and dosnet.inf are judged as
// text too: a lone LF in a file whose first line ends in CR LF, and
// anything but white space and line ends after the first 0x1A byte (setup
// stops reading there).
//
// txtsetup.sif must still hold every section and key its backup holds: an
// integration only adds entries and changes values, so a key that is gone
// means the file was emptied, cut or overwritten (one finding, with how
// many are gone).
//
// Names from the files (a [SCSI.Load] value, a PE import, an INF row or a
// file an INF copies) that are not
// plain file names (check/setup_names.h) are findings and never opened. A
// file is read only when the platform calls it a regular file within the
// folder (platform.h: GetFileKind); a FIFO, device or folder, or a link
// leading outside, is a finding naming it.
//
// The setup source's architecture: check/setup_identity.h decides it
// ([SetupData] Architecture, then the folder's name, then the platform
// section with most entries), else unknown (a note says so; no machine is
// judged).
#ifndef OEM2SIF_CHECK_CHECK_H
#define OEM2SIF_CHECK_CHECK_H

#include <cstddef>
#include <cstdint>

#include "check/setup_identity.h"

namespace o2s {

// The numbers stay as they are: the page reads them.
enum FindingKind : unsigned {
  kFindingDriverMissing = 1,       // file: the plain name; extra: the compressed name
  kFindingNoSourceDisksFiles = 2,  // no [SourceDisksFiles] entry for file
  kFindingNotInScsi = 3,           // [SCSI] does not list service
  kFindingIdWithoutLoad = 4,       // extra: the first such id; number: how many
  kFindingDriverEmpty = 5,
  kFindingNotDriver = 6,           // no PE image (number 0; see kFindingNotNative)
  kFindingWrongMachine = 7,        // number: the driver's machine; extra: its name;
                                   // option: the service's [SCSI] description
  kFindingImportMissing = 8,       // extra: the imported module
  kFindingNotInBootFiles = 9,      // dosnet.inf's [FloppyFiles.2] (line: its header, 0 if none)
  kFindingNotInDosnetFiles = 10,   // dosnet.inf's [Files] (line: its header, 0 if none)
  kFindingMixedLineEnds = 11,      // file: the text file; line: the first lone LF
  kFindingTextAfterEnd = 12,       // file: the text file; line: the first such line
  kFindingDamagedCabinet = 13,     // file: the compressed file
  kFindingTooBig = 14,             // file: a text file too big to check; number: the capacity
                                   // (extra "services": more changed services than judged)
  kFindingDriverCut = 15,          // a PE image whose headers or sections run past its end
  kFindingSetupFileLost = 16,      // file: txtsetup.sif; number: entries of the backup it lacks;
                                   // extra: the first, "[section] key"; line: its line in the backup
  kFindingUnsafeName = 17,         // a name that is no plain file name (path separator, drive
                                   // colon, "..", control byte): never opened. number 0: the
                                   // [SCSI.Load] value, in file; 1: an import, in extra, of file;
                                   // 2: a file the INF file copies, in extra; 3: the
                                   // [SourceDisksFiles] row of the inf folder, in file
  kFindingNotRegularFile = 18,     // file: a FIFO, device, socket or folder: not opened
  kFindingLinkOutside = 19,        // file: a symbolic link leading outside the folder: not followed
  kFindingUnknownPacking = 20,     // file: a cabinet of unknown compression type (number)
  kFindingContinuedCabinet = 21,   // file: one cabinet of a set (spanning)
  kFindingNotNative = 22,          // file: a PE image whose subsystem (number) is not native
  kFindingNoInf = 23,              // no INF serves service; extra: its first hardware id
  kFindingInfMissing = 24,         // file: a row of the inf folder not in the folder;
                                   // extra: the compressed name (service "")
  kFindingInfLacksIds = 25,        // file: an INF that adds service but lists none of its
                                   // ids; extra: the first id
  kFindingInfFileMissing = 26,     // file: the INF serving service; extra: a file it copies
                                   // that is not in the folder
  // Notes: what the check could not judge. They are no problem.
  kNoteNoBackup = 101,             // every [SCSI.Load] entry was judged
  kNoteNotChecked = 102,           // file not read; extra: "LZX/Quantum" or "too big"
  kNoteArchitectureUnknown = 103,  // no machine judged
  kNoteImportsCut = 104,           // file's import table not read to its end
  kNoteInfsNotRead = 105,          // number: INF rows not read (LZX, too big, past the
                                   // bound): services no read INF serves were not judged
};

inline bool IsProblem(FindingKind kind) { return kind < 100; }

// Which text file `line` counts in.
enum FindingPlace : unsigned { kInNoFile = 0, kInSetupFile = 1, kInDosnet = 2 };

// Names longer than this, less one, are cut.
const unsigned kFindingTextCapacity = 128;

struct Finding {
  FindingKind kind;
  FindingPlace place;
  unsigned line;    // from 1; 0: none
  unsigned number;  // see the kinds
  char service[kFindingTextCapacity];  // "" where none
  char file[kFindingTextCapacity];
  char extra[kFindingTextCapacity];
  char option[kFindingTextCapacity];   // kFindingWrongMachine: the [SCSI] description, "" if none
};

struct CheckResult {
  unsigned count;     // findings written
  unsigned problems;  // findings that are problems, also those not written
  unsigned dropped;   // findings that did not fit the caller's array
  unsigned machine;   // the setup source's (kMachineX86 ...), 0: unknown
  MachineEvidence machineEvidence;  // what told the machine
  unsigned majorVersion;  // [SetupData] MajorVersion, 0 when not known
  unsigned minorVersion;
};

// Bytes the workspace holds for each file; a bigger one is a kFindingTooBig
// (txtsetup.sif, its backup, dosnet.inf) or a kNoteNotChecked (a driver).
const size_t kSetupFileCapacity = 4u << 20;
const size_t kDosnetCapacity = 1u << 20;
const size_t kDriverFileCapacity = 4u << 20;
const size_t kInfFileCapacity = 1u << 20;  // a bigger INF is not read
// Rows of the inf folder judged, INF files read, and hardware ids of the
// judged services tried, at most: the rest are not read (kNoteInfsNotRead).
const unsigned kMaxInfRows = 1024;
const unsigned kMaxInfReads = 256;
const unsigned kMaxServiceIds = 16384;  // more are not tried
// Services judged at most; the rest are left out with a kFindingTooBig.
const unsigned kMaxCheckedServices = 512;
// Entries of the backup remembered, as hashes (open addressing, kept at
// most three quarters full): those of the judged sections and of the
// [SourceDisksFiles] ones, about 7,000 in an XP source.
const unsigned kBackupSlots = 1u << 17;
const unsigned kMaxPath = 1024;

const unsigned kNoInf = ~0u;

struct CheckedService {
  char name[kFindingTextCapacity];
  char description[kFindingTextCapacity];  // its [SCSI] value, unquoted
  char file[kFindingTextCapacity];
  char id[kFindingTextCapacity];  // the first changed hardware id naming it
  char firstId[kFindingTextCapacity];  // its first hardware id, changed or not
  char install[kFindingTextCapacity];  // the serving INF's model's install section
  unsigned servingInf;            // the row of the INF serving it; kNoInf: none
  unsigned addingInf;             // the first INF that adds it; kNoInf: none
  unsigned loadLine;              // its [SCSI.Load] entry; 0: none
  unsigned idLine;
  unsigned idCount;
  bool loadedElsewhere;           // another *.Load section lists it
  bool inScsi;
  bool inSourceDisksFiles;
  bool inBootFiles;
  bool inDosnetFiles;
};

// A row of the inf folder in txtsetup.sif.
struct InfRow {
  char name[kFindingTextCapacity];
  unsigned line;
  unsigned char state;   // check.cpp's
  unsigned char method;  // a cabinet's unknown compression type
};

// A judged service's hardware id: txtsetup.sif's bytes at offset.
struct ServiceId {
  uint32_t offset;
  uint16_t length;
  uint16_t service;
};

// Everything the check keeps, about 20 MB: static or allocated once by the
// caller.
struct CheckWorkspace {
  char setupFile[kSetupFileCapacity];
  char backupFile[kSetupFileCapacity];
  char dosnet[kDosnetCapacity];
  unsigned char driver[kDriverFileCapacity];
  unsigned char unpacked[kDriverFileCapacity];
  uint64_t backupEntries[kBackupSlots];
  uint64_t setupKeys[kBackupSlots];  // txtsetup.sif's section and key pairs
  CheckedService services[kMaxCheckedServices];
  char inf[kInfFileCapacity];  // one INF's text (check/inf_file.h: InfText)
  InfRow infRows[kMaxInfRows];
  ServiceId serviceIds[kMaxServiceIds];
  uint16_t serviceIdSlots[2 * kMaxServiceIds];  // hashes of those ids: index + 1, 0 empty
  char path[kMaxPath];
};

enum CheckStatus {
  kCheckDone,          // *result and the findings are filled
  kCheckNoSetupFile,   // the folder holds no txtsetup.sif (or is no folder)
  kCheckUnreadable,    // txtsetup.sif cannot be read
  kCheckPathTooLong,   // the folder's path leaves no room for a file name
};

// Checks `folder` (null or "" for the current folder), writing at most
// `capacity` findings, in this order: the backup's and the architecture's,
// the text findings of txtsetup.sif, too many services, dosnet.inf too big,
// then service by service in the order txtsetup.sif first shows them
// changed (the INF's findings last), then those of the inf folder's rows,
// then the text findings of dosnet.inf.
CheckStatus CheckSetupFolder(const char* folder, CheckWorkspace* work,
                             Finding* findings, unsigned capacity,
                             CheckResult* result);

// Setup's compressed name of `file` into buf (capacity bytes, cut, zero-
// ended): the extension's last letter made '_' (viostor.sys: viostor.sy_);
// a shorter extension gets '_' added, a name without one "._". One rule
// for the check and the engine.
void CompressedName(const char* file, char* buf, size_t capacity);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_CHECK_H
