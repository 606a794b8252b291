#include "check/check.h"

#include <cstdio>
#include <cstring>

#include "check/dosnet.h"
#include "check/driver_image.h"
#include "check/cabinet.h"
#include "check/inf_file.h"
#include "check/pe_image.h"
#include "check/setup_names.h"
#include "check/text_lines.h"
#include "platform/platform.h"

namespace o2s {
namespace {

const char kSetupName[] = "txtsetup.sif";
const char kBackupName[] = "txtsetup.sif.orig";
const char kDosnetName[] = "dosnet.inf";
const char kLoadSection[] = "SCSI.Load";
const char kScsiSection[] = "SCSI";
const char kIdsSection[] = "HardwareIdsDatabase";
const char kFilesSection[] = "SourceDisksFiles";
const char kDirectoriesSection[] = "WinntDirectories";

// What became of a row of the inf folder.
enum InfRowState : unsigned char {
  kRowPending,
  kRowRead,         // an INF read
  kRowPresent,      // in the folder, no INF (a catalog)
  kRowNotRead,      // no finding of its own: LZX, too big, past the bound, or
                    // compressed without a backup
  kRowMissing,
  kRowUnsafe,
  kRowNotRegular,
  kRowOutside,
  kRowDamaged,
  kRowUnknownPacking,
  kRowContinued,
};

struct Checker {
  const char* folder;  // "" for the current one
  CheckWorkspace* work;
  Finding* findings;
  unsigned capacity;
  CheckResult* result;
  size_t setupSize;
  unsigned serviceCount;
  bool servicesCut;
  size_t dosnetSize;
  unsigned infRowCount;
  unsigned idCount;
  unsigned infReads;
  unsigned infsNotRead;      // *.inf rows not read, for any reason
  unsigned infsNotReadQuietly;  // of those, the ones without a finding of their own
  unsigned loadedInf;        // the row whose text work->inf holds; kNoInf: none
  size_t infSize;
  bool infsUnjudged;         // a service no read INF serves, where some were not read
};

// The path of `name` in the folder, in work->path (the caller made sure
// that every name of kFindingTextCapacity fits).
const char* PathOf(Checker* c, const char* name) {
  char* path = c->work->path;
  size_t folderLength = strlen(c->folder);
  if (folderLength == 0) {
    memcpy(path, ".\\", 2);  // the current folder, as platform.h names it
    folderLength = 2;
  } else {
    memcpy(path, c->folder, folderLength);
    char last = path[folderLength - 1];
    if (last != '/' && last != '\\') path[folderLength++] = '/';
  }
  CopyText(path + folderLength, kMaxPath - folderLength, name, strlen(name));
  return path;
}

// The finding written, or null when it did not fit.
Finding* Add(Checker* c, FindingKind kind, FindingPlace place, unsigned line, const char* service,
             const char* file, const char* extra, unsigned number = 0) {
  if (IsProblem(kind)) ++c->result->problems;
  if (c->result->count == c->capacity) {
    ++c->result->dropped;
    return nullptr;
  }
  Finding* f = &c->findings[c->result->count++];
  f->kind = kind;
  f->place = place;
  f->line = line;
  f->number = number;
  CopyText(f->service, sizeof f->service, service, strlen(service));
  CopyText(f->file, sizeof f->file, file, strlen(file));
  CopyText(f->extra, sizeof f->extra, extra, strlen(extra));
  f->option[0] = '\0';
  return f;
}

// --- The backup's entries, as hashes of section, key (both as the engine
// compares them) and value.

const uint64_t kHashStart = 14695981039346656037ull;

// FNV-1a over bytes (ASCII letters folded where names are), then a
// separator no byte equals.
void MixHash(uint64_t* hash, const char* bytes, size_t length, bool fold) {
  for (size_t i = 0; i < length; ++i) {
    char b = bytes[i];
    if (fold && b >= 'A' && b <= 'Z') b = static_cast<char>(b + ('a' - 'A'));
    *hash = (*hash ^ static_cast<unsigned char>(b)) * 1099511628211ull;
  }
  *hash = (*hash ^ 0x100) * 1099511628211ull;
}

// The section and key of the current entry, as the engine compares them.
uint64_t KeyHash(const TextLines& lines) {
  uint64_t hash = kHashStart;
  MixHash(&hash, lines.bytes + lines.sectionOffset, lines.sectionLength, true);
  MixHash(&hash, lines.bytes + lines.line.nameOffset, lines.line.nameLength, true);
  return hash != 0 ? hash : 1;  // 0 marks an empty slot
}

// The section, key and value of the current entry.
uint64_t EntryHash(const TextLines& lines) {
  uint64_t hash = kHashStart;
  MixHash(&hash, lines.bytes + lines.sectionOffset, lines.sectionLength, true);
  MixHash(&hash, lines.bytes + lines.line.nameOffset, lines.line.nameLength, true);
  MixHash(&hash, lines.bytes + lines.line.valueOffset, lines.line.valueLength, false);
  return hash != 0 ? hash : 1;
}

// Open addressing over kBackupSlots slots: false when the table is full (at
// three quarters) or, for a lookup, when the hash is not there.
bool PutHash(uint64_t* slots, unsigned* used, uint64_t hash) {
  unsigned at = static_cast<unsigned>(hash) & (kBackupSlots - 1);
  while (slots[at] != 0 && slots[at] != hash) at = (at + 1) & (kBackupSlots - 1);
  if (slots[at] == hash) return true;
  if (++*used > kBackupSlots / 4 * 3) return false;
  slots[at] = hash;
  return true;
}

bool HasHash(const uint64_t* slots, uint64_t hash) {
  unsigned at = static_cast<unsigned>(hash) & (kBackupSlots - 1);
  while (slots[at] != 0) {
    if (slots[at] == hash) return true;
    at = (at + 1) & (kBackupSlots - 1);
  }
  return false;
}

bool IsJudgedSection(const TextLines& lines) {
  return InSection(lines, kLoadSection) || InSection(lines, kScsiSection) ||
         InSection(lines, kIdsSection);
}

// [SourceDisksFiles] or [SourceDisksFiles.ANY].
bool IsAnyFilesSection(const TextLines& lines) {
  const size_t length = sizeof kFilesSection - 1;
  return lines.inSection && lines.sectionLength >= length &&
         EqualNoCase(lines.bytes + lines.sectionOffset, length, kFilesSection) &&
         (lines.sectionLength == length || lines.bytes[lines.sectionOffset + length] == '.');
}

// False when the table filled up.
bool RememberBackup(Checker* c, size_t size) {
  uint64_t* slots = c->work->backupEntries;
  memset(slots, 0, sizeof c->work->backupEntries);
  unsigned used = 0;
  TextLines lines;
  StartLines(&lines, c->work->backupFile, size);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !(IsJudgedSection(lines) || IsAnyFilesSection(lines))) continue;
    if (!PutHash(slots, &used, EntryHash(lines))) return false;
  }
  return true;
}

bool BackupHolds(const Checker& c, const TextLines& lines) {
  return HasHash(c.work->backupEntries, EntryHash(lines));
}

// The backup's sections and keys that txtsetup.sif no longer has: an
// integration never takes one away, so any such loss is damage (an emptied,
// cut or overwritten file). One finding with the first and how many.
void CheckNothingLost(Checker* c, size_t backupSize) {
  uint64_t* slots = c->work->setupKeys;
  memset(slots, 0, sizeof c->work->setupKeys);
  unsigned used = 0;
  TextLines lines;
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind == kProfileEntry && lines.inSection && !PutHash(slots, &used, KeyHash(lines))) return;
  }
  unsigned lost = 0, firstLine = 0;
  char first[kFindingTextCapacity] = "";
  StartLines(&lines, c->work->backupFile, backupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !lines.inSection || HasHash(slots, KeyHash(lines))) continue;
    if (lost++ > 0) continue;
    firstLine = lines.number;
    char entry[2 * kFindingTextCapacity];
    snprintf(entry, sizeof entry, "[%.*s] %.*s", static_cast<int>(lines.sectionLength),
             lines.bytes + lines.sectionOffset, static_cast<int>(lines.line.nameLength),
             lines.bytes + lines.line.nameOffset);
    CopyText(first, sizeof first, entry, strlen(entry));
  }
  if (lost > 0) Add(c, kFindingSetupFileLost, kInNoFile, firstLine, "", kSetupName, first, lost);
}

// --- Services.

CheckedService* FindService(Checker* c, const char* name, size_t length) {
  for (unsigned i = 0; i < c->serviceCount; ++i) {
    CheckedService* s = &c->work->services[i];
    if (EqualNoCase(s->name, strlen(s->name), name, length)) return s;
  }
  return nullptr;
}

CheckedService* AddService(Checker* c, const char* name, size_t length) {
  if (length == 0) return nullptr;
  if (length >= kFindingTextCapacity) length = kFindingTextCapacity - 1;
  CheckedService* s = FindService(c, name, length);
  if (s != nullptr) return s;
  if (c->serviceCount == kMaxCheckedServices) {
    c->servicesCut = true;
    return nullptr;
  }
  s = &c->work->services[c->serviceCount++];
  memset(s, 0, sizeof *s);
  CopyText(s->name, sizeof s->name, name, length);
  s->servingInf = kNoInf;
  s->addingInf = kNoInf;
  return s;
}

// The value without one pair of quotes around it, as setup reads a service.
void Unquote(const char** text, size_t* length) {
  if (*length >= 2 && (*text)[0] == '"' && (*text)[*length - 1] == '"') {
    ++*text;
    *length -= 2;
  }
  TrimBlanks(text, length);
}

// The first field of a [SCSI.Load] value: the driver file.
void LoadFile(const TextLines& lines, char* file) {
  const char* value = lines.bytes + lines.line.valueOffset;
  size_t length = lines.line.valueLength;
  const char* comma = static_cast<const char*>(memchr(value, ',', length));
  if (comma != nullptr) length = static_cast<size_t>(comma - value);
  Unquote(&value, &length);
  CopyText(file, kFindingTextCapacity, value, length);
}

bool EndsWithLoad(const TextLines& lines) {
  const char* name = lines.bytes + lines.sectionOffset;
  size_t length = lines.sectionLength;
  return length > 5 && EqualNoCase(name + length - 5, 5, ".Load");
}

// The suffix of `prefix`.SUFFIX section names, or null.
const char* SuffixAfter(const TextLines& lines, const char* prefix, size_t* suffixLength) {
  size_t prefixLength = strlen(prefix);
  const char* name = lines.bytes + lines.sectionOffset;
  if (lines.sectionLength <= prefixLength + 1 || name[prefixLength] != '.' ||
      !EqualNoCase(name, prefixLength, prefix)) {
    return nullptr;
  }
  *suffixLength = lines.sectionLength - prefixLength - 1;
  return name + prefixLength + 1;
}

const char* MachineSuffix(unsigned machine) {
  return machine == kMachineX86 ? "x86" : machine == kMachineX64 ? "amd64" : machine == kMachineIa64 ? "ia64" : "";
}

// [SourceDisksFiles] or the one of the setup source's architecture (any
// when that is not known): where setup looks a file up.
bool IsListingSection(const Checker& c, const TextLines& lines) {
  const char* ownSuffix = MachineSuffix(c.result->machine);
  size_t suffixLength = 0;
  const char* suffix = SuffixAfter(lines, kFilesSection, &suffixLength);
  return InSection(lines, kFilesSection) ||
         (suffix != nullptr && (*ownSuffix == '\0' || EqualNoCase(suffix, suffixLength, ownSuffix)));
}

// The services whose entries changed, in the order they are first met.
void CollectServices(Checker* c, bool haveBackup) {
  TextLines lines;
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry) continue;
    bool load = InSection(lines, kLoadSection);
    if (!(load || (haveBackup && IsJudgedSection(lines)))) continue;
    if (haveBackup && BackupHolds(*c, lines)) continue;
    const char* key = lines.bytes + lines.line.nameOffset;
    if (!InSection(lines, kIdsSection)) {
      AddService(c, key, lines.line.nameLength);
      continue;
    }
    const char* service = lines.bytes + lines.line.valueOffset;
    size_t length = lines.line.valueLength;
    Unquote(&service, &length);
    CheckedService* s = AddService(c, service, length);
    if (s != nullptr && s->idCount++ == 0) {
      s->idLine = lines.number;
      CopyText(s->id, sizeof s->id, key, lines.line.nameLength);
    }
  }
}

// Where each service is listed, and each driver file in [SourceDisksFiles].
void LookUpServices(Checker* c) {
  TextLines lines;
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry) continue;
    CheckedService* s = FindService(c, lines.bytes + lines.line.nameOffset, lines.line.nameLength);
    if (s == nullptr) continue;
    if (InSection(lines, kLoadSection)) {
      if (s->loadLine == 0) {
        s->loadLine = lines.number;
        LoadFile(lines, s->file);
      }
    } else if (InSection(lines, kScsiSection)) {
      if (!s->inScsi) {
        const char* value = lines.bytes + lines.line.valueOffset;
        size_t length = lines.line.valueLength;
        Unquote(&value, &length);
        CopyText(s->description, sizeof s->description, value, length);
      }
      s->inScsi = true;
    } else if (EndsWithLoad(lines)) {
      s->loadedElsewhere = true;
    }
  }
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !IsListingSection(*c, lines)) continue;
    for (unsigned i = 0; i < c->serviceCount; ++i) {
      CheckedService* s = &c->work->services[i];
      if (EqualNoCase(lines.bytes + lines.line.nameOffset, lines.line.nameLength, s->file)) {
        s->inSourceDisksFiles = true;
      }
    }
  }
}

// A lone LF in a CR LF file before the first 0x1A, and anything after it:
// setup reads no further, so what lies there is that one finding alone.
void CheckText(Checker* c, const char* bytes, size_t size, const char* name, FindingPlace place) {
  const size_t readSize = SetupReadSize(bytes, size);
  const char* marker = readSize < size ? bytes + readSize : nullptr;
  size_t after = size;  // the first byte after the marker that setup would miss
  if (marker != nullptr) {
    for (size_t i = static_cast<size_t>(marker - bytes); i < size && after == size; ++i) {
      if (strchr(" \t\x1a\r\n", bytes[i]) == nullptr || bytes[i] == '\0') after = i;
    }
  }
  TextLines lines;
  StartLines(&lines, bytes, size);
  int firstEnd = 0;  // the first line end's length
  bool mixed = false;
  while (NextLine(&lines)) {
    const ProfileLine& line = lines.line;
    if (firstEnd == 0) firstEnd = static_cast<int>(line.endLength);
    if (!mixed && firstEnd == 2 && line.endLength == 1 && line.offset + line.length < readSize &&
        bytes[line.offset + line.length] == '\n') {
      mixed = true;
      Add(c, kFindingMixedLineEnds, place, lines.number, "", name, "");
    }
    if (after < lines.next) {
      Add(c, kFindingTextAfterEnd, place, lines.number, "", name, "");
      after = size;
    }
  }
}

// A name a file gave that may be looked for in the folder; a finding
// otherwise, and it is never opened.
bool IsSafeName(Checker* c, const CheckedService& s, const char* name, bool import, const char* read) {
  if (IsPlainFileName(name, strlen(name))) return true;
  if (import) {
    Add(c, kFindingUnsafeName, kInSetupFile, s.loadLine, s.name, read, name, 1);
  } else {
    Add(c, kFindingUnsafeName, kInSetupFile, s.loadLine, s.name, name, "", 0);
  }
  return false;
}

// A finding for a name that is there but cannot be read as a file; false
// when there is nothing to say.
bool AddKindFinding(Checker* c, FileKind kind, const CheckedService& s, const char* name) {
  if (kind == kFileKindOther) Add(c, kFindingNotRegularFile, kInSetupFile, s.loadLine, s.name, name, "");
  if (kind == kFileKindOutside) Add(c, kFindingLinkOutside, kInSetupFile, s.loadLine, s.name, name, "");
  return kind == kFileKindOther || kind == kFileKindOutside;
}

void CheckImport(Checker* c, const CheckedService& s, const char* read, const char* import) {
  if (!IsSafeName(c, s, import, true, read)) return;
  char compressed[kFindingTextCapacity];
  CompressedName(import, compressed, sizeof compressed);
  FileKind plain = GetFileKind(PathOf(c, import));
  FileKind packed = GetFileKind(PathOf(c, compressed));
  if (plain == kFileKindRegular || packed == kFileKindRegular) return;
  if (AddKindFinding(c, plain, s, import) || AddKindFinding(c, packed, s, compressed)) return;
  Add(c, kFindingImportMissing, kInSetupFile, s.loadLine, s.name, read, import);
}

// The name `name` goes by in the folder: itself where it is there, else
// setup's compressed name (written to compressed, kFindingTextCapacity
// bytes); *kind says what that name is.
const char* PresentName(Checker* c, const char* name, char* compressed, FileKind* kind) {
  CompressedName(name, compressed, kFindingTextCapacity);
  *kind = GetFileKind(PathOf(c, name));
  if (*kind != kFileKindMissing) return name;
  *kind = GetFileKind(PathOf(c, compressed));
  return compressed;
}

void CheckDriverFile(Checker* c, const CheckedService& s) {
  const char* service = s.name;
  if (!IsSafeName(c, s, s.file, false, "")) return;
  char compressed[kFindingTextCapacity];
  FileKind kind;
  const char* read = PresentName(c, s.file, compressed, &kind);
  if (kind == kFileKindMissing) {
    Add(c, kFindingDriverMissing, kInSetupFile, s.loadLine, service, s.file, compressed);
    return;
  }
  if (AddKindFinding(c, kind, s, read)) return;
  CheckWorkspace* work = c->work;
  size_t size = 0;
  ReadFileResult got = ReadFileBytes(PathOf(c, read), work->driver, kDriverFileCapacity, &size);
  if (got == kFileNotRegular || got == kFileOutside) {
    AddKindFinding(c, got == kFileNotRegular ? kFileKindOther : kFileKindOutside, s, read);
    return;
  }
  if (got != kFileRead) {
    Add(c, kNoteNotChecked, kInSetupFile, s.loadLine, service, read, got == kFileTooBig ? "too big" : "unreadable");
    return;
  }
  PeImage image;
  switch (ReadDriverImage(work->driver, size, work->unpacked, kDriverFileCapacity, &image)) {
    case kDriverEmpty:
      Add(c, kFindingDriverEmpty, kInSetupFile, s.loadLine, service, read, "");
      return;
    case kDriverNotImage:
      // Setup copies a compressed name that holds no cabinet as it is; one
      // that is no PE image either is taken for a cabinet gone bad.
      Add(c, read == compressed ? kFindingDamagedCabinet : kFindingNotDriver, kInSetupFile, s.loadLine, service,
          read, "");
      return;
    case kDriverOtherPacking:
      Add(c, kNoteNotChecked, kInSetupFile, s.loadLine, service, read, "LZX/Quantum");
      return;
    case kDriverUnknownPacking: {
      int method = CabinetMethod(work->driver, size);
      Add(c, kFindingUnknownPacking, kInSetupFile, s.loadLine, service, read, "",
          method < 0 ? 0u : static_cast<unsigned>(method));
      return;
    }
    case kDriverContinuedCabinet:
      Add(c, kFindingContinuedCabinet, kInSetupFile, s.loadLine, service, read, "");
      return;
    case kDriverTooBig:
      Add(c, kNoteNotChecked, kInSetupFile, s.loadLine, service, read, "too big");
      return;
    case kDriverDamagedCabinet:
      Add(c, kFindingDamagedCabinet, kInSetupFile, s.loadLine, service, read, "");
      return;
    case kDriverCut:
      Add(c, kFindingDriverCut, kInSetupFile, s.loadLine, service, read, "");
      return;
    case kDriverImage:
      break;
  }
  if (image.subsystem != kSubsystemNative) {
    Add(c, kFindingNotNative, kInSetupFile, s.loadLine, service, read, "", image.subsystem);
  }
  unsigned machine = c->result->machine;
  if (machine != 0 && image.machine != machine) {
    char name[16];
    const char* known = MachineName(image.machine);
    if (known == nullptr) {
      snprintf(name, sizeof name, "0x%04X", image.machine);
      known = name;
    }
    Finding* f = Add(c, kFindingWrongMachine, kInSetupFile, s.loadLine, service, read, known, image.machine);
    if (f != nullptr) CopyText(f->option, sizeof f->option, s.description, strlen(s.description));
  }
  for (unsigned i = 0; i < image.importCount; ++i) CheckImport(c, s, read, image.imports[i]);
  if (!image.importsComplete) Add(c, kNoteImportsCut, kInSetupFile, s.loadLine, service, read, "");
}

// A FIFO, device or folder, or a link leading outside, in place of one of
// the setup's text files.
void AddTextFileKind(Checker* c, ReadFileResult got, const char* name) {
  if (got == kFileNotRegular) Add(c, kFindingNotRegularFile, kInNoFile, 0, "", name, "");
  if (got == kFileOutside) Add(c, kFindingLinkOutside, kInNoFile, 0, "", name, "");
}

// dosnet.inf's lists, where the folder has one. False without one.
bool ReadDosnet(Checker* c, size_t* size, unsigned* bootLine, unsigned* filesLine) {
  CheckWorkspace* work = c->work;
  ReadFileResult got = ReadFileBytes(PathOf(c, kDosnetName), work->dosnet, kDosnetCapacity, size);
  if (got == kFileTooBig) {
    Add(c, kFindingTooBig, kInNoFile, 0, "", kDosnetName, "", static_cast<unsigned>(kDosnetCapacity));
  }
  AddTextFileKind(c, got, kDosnetName);
  if (got != kFileRead) return false;
  TextLines lines;
  StartLines(&lines, work->dosnet, SetupReadSize(work->dosnet, *size));
  while (NextLine(&lines)) {
    const ProfileLine& line = lines.line;
    bool boot = InSection(lines, kDosnetBootSection);
    bool files = InSection(lines, kDosnetFilesSection);
    if (line.kind == kProfileHeader) {
      if (boot && *bootLine == 0) *bootLine = lines.number;
      if (files && *filesLine == 0) *filesLine = lines.number;
    }
    if ((!boot && !files) || (line.kind != kProfileOther && line.kind != kProfileEntry)) continue;
    for (unsigned i = 0; i < c->serviceCount; ++i) {
      CheckedService* s = &work->services[i];
      if (s->loadLine == 0 || !DosnetLineNames(lines.bytes + line.offset, line.length, s->file, strlen(s->file))) continue;
      s->inBootFiles = s->inBootFiles || boot;
      s->inDosnetFiles = s->inDosnetFiles || files;
    }
  }
  return true;
}

// --- The INFs GUI-mode setup installs the devices from.

// [WinntDirectories]' key for the inf folder ("20" on every 2000 / XP / 2003
// source, and where the file does not say).
void InfDirectoryId(const Checker& c, const char** id, size_t* length) {
  *id = "20";
  *length = 2;
  TextLines lines;
  StartLines(&lines, c.work->setupFile, c.setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !InSection(lines, kDirectoriesSection)) continue;
    const char* value = lines.bytes + lines.line.valueOffset;
    size_t valueLength = lines.line.valueLength;
    Unquote(&value, &valueLength);
    if (!EqualNoCase(value, valueLength, "inf")) continue;
    *id = lines.bytes + lines.line.nameOffset;
    *length = lines.line.nameLength;
    return;
  }
}

bool IsInfName(const char* name) {
  size_t length = strlen(name);
  return length > 4 && EqualNoCase(name + length - 4, 4, ".inf");
}

// The rows of disk 1 without a subfolder (this folder; others lie in
// subfolders such as lang) whose directory is the inf folder: those the
// backup does not hold, or every one without a backup. Each name once.
void CollectInfRows(Checker* c, bool haveBackup) {
  const char* directory;
  size_t directoryLength;
  InfDirectoryId(*c, &directory, &directoryLength);
  TextLines lines;
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !IsListingSection(*c, lines)) continue;
    const char* value = lines.bytes + lines.line.valueOffset;
    size_t valueLength = lines.line.valueLength;
    const char* field;
    size_t fieldLength;
    if (!InfField(value, valueLength, 7, &field, &fieldLength) ||
        !EqualNoCase(field, fieldLength, directory, directoryLength)) {
      continue;
    }
    InfField(value, valueLength, 0, &field, &fieldLength);
    if (!EqualNoCase(field, fieldLength, "1")) continue;
    InfField(value, valueLength, 1, &field, &fieldLength);
    if (fieldLength != 0 || (haveBackup && BackupHolds(*c, lines))) continue;  // a subfolder's
    const char* name = lines.bytes + lines.line.nameOffset;
    size_t nameLength = lines.line.nameLength;
    bool known = false;
    for (unsigned i = 0; i < c->infRowCount && !known; ++i) {
      known = EqualNoCase(c->work->infRows[i].name, strlen(c->work->infRows[i].name), name, nameLength);
    }
    if (known) continue;
    bool inf = nameLength > 4 && EqualNoCase(name + nameLength - 4, 4, ".inf");
    if (c->infRowCount == kMaxInfRows || nameLength >= kFindingTextCapacity) {
      if (inf) {
        ++c->infsNotRead;
        ++c->infsNotReadQuietly;
      }
      continue;
    }
    InfRow* row = &c->work->infRows[c->infRowCount++];
    CopyText(row->name, sizeof row->name, name, nameLength);
    row->line = lines.number;
    row->state = IsPlainFileName(name, nameLength) ? kRowPending : kRowUnsafe;
    row->method = 0;
  }
}

unsigned IdSlot(const char* id, size_t length) {
  uint64_t hash = kHashStart;
  MixHash(&hash, id, length, true);
  return static_cast<unsigned>(hash % (2 * kMaxServiceIds));
}

// Every hardware id of each judged service, and the first of each.
void CollectServiceIds(Checker* c) {
  memset(c->work->serviceIdSlots, 0, sizeof c->work->serviceIdSlots);
  TextLines lines;
  StartLines(&lines, c->work->setupFile, c->setupSize);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !InSection(lines, kIdsSection)) continue;
    const char* service = lines.bytes + lines.line.valueOffset;
    size_t length = lines.line.valueLength;
    Unquote(&service, &length);
    CheckedService* s = FindService(c, service, length);
    size_t idLength = lines.line.nameLength;
    if (s == nullptr || s->loadLine == 0 || idLength == 0 || idLength > 0xFFFF) continue;
    if (s->firstId[0] == '\0') CopyText(s->firstId, sizeof s->firstId, lines.bytes + lines.line.nameOffset, idLength);
    // Each form a model may list for the device (InfIdForms).
    size_t forms[8];
    unsigned formCount = InfIdForms(lines.bytes + lines.line.nameOffset, idLength, forms, 8);
    for (unsigned f = 0; f < formCount && c->idCount < kMaxServiceIds; ++f) {
      ServiceId* id = &c->work->serviceIds[c->idCount++];
      id->offset = static_cast<uint32_t>(lines.line.nameOffset);
      id->length = static_cast<uint16_t>(forms[f]);
      id->service = static_cast<uint16_t>(s - c->work->services);
      // At most half full: a free slot always ends a probe.
      unsigned at = IdSlot(lines.bytes + id->offset, forms[f]);
      while (c->work->serviceIdSlots[at] != 0) at = (at + 1) % (2 * kMaxServiceIds);
      c->work->serviceIdSlots[at] = static_cast<uint16_t>(c->idCount);
    }
  }
}

// Reads row `index`'s file, plain or compressed, into work->inf: the row's
// state (kRowRead when read). Compressed files only where allowed; a first
// reading counts against kMaxInfReads.
InfRowState ReadInfRow(Checker* c, unsigned index, bool compressedToo, bool first) {
  CheckWorkspace* work = c->work;
  InfRow& row = work->infRows[index];
  char compressed[kFindingTextCapacity];
  FileKind kind;
  const char* read = PresentName(c, row.name, compressed, &kind);
  if (kind == kFileKindMissing) return kRowMissing;
  if (kind == kFileKindOther) return kRowNotRegular;
  if (kind == kFileKindOutside) return kRowOutside;
  if (!IsInfName(row.name)) return kRowPresent;
  if ((read == compressed && !compressedToo) || (first && c->infReads == kMaxInfReads)) return kRowNotRead;
  if (first) ++c->infReads;
  c->loadedInf = kNoInf;
  size_t size = 0;
  switch (ReadFileBytes(PathOf(c, read), work->driver, kInfFileCapacity, &size)) {
    case kFileRead:
      break;
    case kFileNotRegular:
      return kRowNotRegular;
    case kFileOutside:
      return kRowOutside;
    default:
      return kRowNotRead;
  }
  const unsigned char* text = work->driver;
  if (IsCabinet(text, size)) {
    switch (UnpackFirstCabinetFile(work->driver, size, work->unpacked, kInfFileCapacity, &size)) {
      case kCabinetUnpacked:
        text = work->unpacked;
        break;
      case kCabinetOtherMethod:
      case kCabinetTooBig:
        return kRowNotRead;
      case kCabinetUnknownMethod: {
        int method = CabinetMethod(work->driver, size);
        row.method = static_cast<unsigned char>(method < 0 ? 0 : method);
        return kRowUnknownPacking;
      }
      case kCabinetContinued:
        return kRowContinued;
      case kNotCabinet:
      case kCabinetDamaged:
        return kRowDamaged;
    }
  }
  c->infSize = InfText(text, size, work->inf, kInfFileCapacity);
  c->loadedInf = index;
  return kRowRead;
}

struct InfMatch {
  Checker* checker;
  unsigned row;
};

// A model's id: the services it is an id of are served by the INF, from
// this model's install section, unless an earlier one serves them.
void MatchModelId(void* context, const char* install, size_t installLength, const char* id, size_t idLength) {
  const InfMatch* match = static_cast<const InfMatch*>(context);
  CheckWorkspace* work = match->checker->work;
  for (unsigned at = IdSlot(id, idLength); work->serviceIdSlots[at] != 0; at = (at + 1) % (2 * kMaxServiceIds)) {
    const ServiceId& known = work->serviceIds[work->serviceIdSlots[at] - 1];
    CheckedService* s = &work->services[known.service];
    if (s->servingInf != kNoInf || !EqualNoCase(work->setupFile + known.offset, known.length, id, idLength)) continue;
    s->servingInf = match->row;
    CopyText(s->install, sizeof s->install, install, installLength);
  }
}

void MatchAddedService(void* context, const char* name, size_t length) {
  const InfMatch* match = static_cast<const InfMatch*>(context);
  CheckedService* s = FindService(match->checker, name, length);
  if (s != nullptr && s->loadLine != 0 && s->addingInf == kNoInf) s->addingInf = match->row;
}

// Which INF serves each judged service: each row's file read once, its
// models' ids looked up among the services' (one pass over the INF); the
// first INF whose models list one of a service's ids serves it.
void FindServingInfs(Checker* c, bool haveBackup) {
  CheckWorkspace* work = c->work;
  for (unsigned r = 0; r < c->infRowCount; ++r) {
    InfRow* row = &work->infRows[r];
    if (row->state == kRowPending) row->state = ReadInfRow(c, r, haveBackup, true);
    if (!IsInfName(row->name)) continue;
    if (row->state != kRowRead) {
      ++c->infsNotRead;
      if (row->state == kRowNotRead) ++c->infsNotReadQuietly;
      continue;
    }
    InfMatch match{c, r};
    InfModelIds(work->inf, c->infSize, MatchModelId, &match);
    InfAddedServices(work->inf, c->infSize, MatchAddedService, &match);
  }
}

// Whether dosnet.inf's [Files] copies `name` from the setup folder.
bool DosnetFilesName(const Checker& c, const char* name) {
  TextLines lines;
  StartLines(&lines, c.work->dosnet, SetupReadSize(c.work->dosnet, c.dosnetSize));
  while (NextLine(&lines)) {
    const ProfileLine& line = lines.line;
    if ((line.kind != kProfileOther && line.kind != kProfileEntry) || !InSection(lines, kDosnetFilesSection)) continue;
    if (DosnetLineNames(lines.bytes + line.offset, line.length, name, strlen(name))) return true;
  }
  return false;
}

struct CopiedFiles {
  Checker* checker;
  const CheckedService* service;
  const char* inf;
  uint64_t seen[64];  // names already judged, as hashes
  unsigned seenCount;
};

// One file the serving INF's install section copies: in the folder, plain
// or compressed, once per name.
void CheckCopiedFile(void* context, const char* name, size_t length) {
  CopiedFiles* copied = static_cast<CopiedFiles*>(context);
  Checker* c = copied->checker;
  const CheckedService& s = *copied->service;
  uint64_t hash = kHashStart;
  MixHash(&hash, name, length, true);
  for (unsigned i = 0; i < copied->seenCount; ++i) {
    if (copied->seen[i] == hash) return;
  }
  if (copied->seenCount < sizeof copied->seen / sizeof copied->seen[0]) copied->seen[copied->seenCount++] = hash;
  if (EqualNoCase(name, length, s.file)) return;  // the driver: judged above
  char file[kFindingTextCapacity];
  CopyText(file, sizeof file, name, length);
  if (length >= sizeof file || !IsPlainFileName(name, length)) {
    Add(c, kFindingUnsafeName, kInSetupFile, s.loadLine, s.name, copied->inf, file, 2);
    return;
  }
  char compressed[kFindingTextCapacity];
  CompressedName(file, compressed, sizeof compressed);
  FileKind plain = GetFileKind(PathOf(c, file));
  FileKind packed = GetFileKind(PathOf(c, compressed));
  if (plain == kFileKindRegular || packed == kFileKindRegular) return;
  if (AddKindFinding(c, plain, s, file) || AddKindFinding(c, packed, s, compressed)) return;
  Add(c, kFindingInfFileMissing, kInSetupFile, s.loadLine, s.name, copied->inf, file);
}

// The service's INF findings: none serves it, or the one that adds it lists
// none of its ids, or what the serving one copies is not all there, or
// dosnet.inf does not copy it.
void CheckServiceInf(Checker* c, const CheckedService& s, bool haveDosnet, unsigned filesLine) {
  CheckWorkspace* work = c->work;
  if (s.servingInf == kNoInf) {
    // Without an id of its own, the INF that adds it is taken for its INF.
    if (s.addingInf != kNoInf && s.firstId[0] == '\0') return;
    if (c->infsNotRead > 0) {
      c->infsUnjudged = true;
    } else if (s.addingInf != kNoInf) {
      Add(c, kFindingInfLacksIds, kInSetupFile, s.loadLine, s.name, work->infRows[s.addingInf].name, s.firstId);
    } else {
      Add(c, kFindingNoInf, kInSetupFile, s.loadLine, s.name, "", s.firstId);
    }
    return;
  }
  const char* inf = work->infRows[s.servingInf].name;
  if (c->loadedInf == s.servingInf || ReadInfRow(c, s.servingInf, true, false) == kRowRead) {
    char section[kInfNameCapacity];
    InfInstallSection(work->inf, c->infSize, s.install, c->result->machine, section);
    CopiedFiles copied{c, &s, inf, {}, 0};
    InfCopiedFiles(work->inf, c->infSize, section, CheckCopiedFile, &copied);
  }
  if (haveDosnet && !DosnetFilesName(*c, inf)) {
    Add(c, kFindingNotInDosnetFiles, kInDosnet, filesLine, s.name, inf, "");
  }
}

// The rows' own findings, in their order, and the note when a service's
// INF could not be judged.
void AddInfRowFindings(Checker* c) {
  for (unsigned r = 0; r < c->infRowCount; ++r) {
    const InfRow& row = c->work->infRows[r];
    char compressed[kFindingTextCapacity];
    CompressedName(row.name, compressed, sizeof compressed);
    switch (row.state) {
      case kRowMissing:
        Add(c, kFindingInfMissing, kInSetupFile, row.line, "", row.name, compressed);
        break;
      case kRowUnsafe:
        Add(c, kFindingUnsafeName, kInSetupFile, row.line, "", row.name, "", 3);
        break;
      case kRowNotRegular:
        Add(c, kFindingNotRegularFile, kInSetupFile, row.line, "", row.name, "");
        break;
      case kRowOutside:
        Add(c, kFindingLinkOutside, kInSetupFile, row.line, "", row.name, "");
        break;
      case kRowDamaged:
        Add(c, kFindingDamagedCabinet, kInSetupFile, row.line, "", compressed, "");
        break;
      case kRowUnknownPacking:
        Add(c, kFindingUnknownPacking, kInSetupFile, row.line, "", compressed, "", row.method);
        break;
      case kRowContinued:
        Add(c, kFindingContinuedCabinet, kInSetupFile, row.line, "", compressed, "");
        break;
      default:
        break;
    }
  }
  if (c->infsUnjudged && c->infsNotReadQuietly > 0) {
    Add(c, kNoteInfsNotRead, kInNoFile, 0, "", kSetupName, "", c->infsNotReadQuietly);
  }
}

}  // namespace

void CompressedName(const char* file, char* buf, size_t capacity) {
  if (capacity == 0) return;
  size_t length = strlen(file);
  const char* dot = strrchr(file, '.');
  size_t extension = dot != nullptr ? length - static_cast<size_t>(dot - file) - 1 : 0;
  // The name, its last letter made '_' or "_" / "._" added, cut to fit.
  const char* tail = dot == nullptr ? "._" : "_";
  size_t kept = dot != nullptr && extension >= 3 ? length - 1 : length;
  size_t used = 0;
  for (size_t i = 0; i < kept && used + 1 < capacity; ++i) buf[used++] = file[i];
  for (const char* t = tail; *t != '\0' && used + 1 < capacity; ++t) buf[used++] = *t;
  buf[used] = '\0';
}

CheckStatus CheckSetupFolder(const char* folder, CheckWorkspace* work, Finding* findings,
                             unsigned capacity, CheckResult* result) {
  memset(result, 0, sizeof *result);
  Checker c{folder != nullptr ? folder : "", work, findings, capacity, result, 0, 0, false,
            0, 0, 0, 0, 0, 0, kNoInf, 0, false};
  if (strlen(c.folder) + 2 + kFindingTextCapacity > kMaxPath) return kCheckPathTooLong;

  size_t setupFileSize = 0;
  switch (ReadFileBytes(PathOf(&c, kSetupName), work->setupFile, kSetupFileCapacity, &setupFileSize)) {
    case kFileMissing:
      return kCheckNoSetupFile;
    case kFileUnreadable:
    case kFileNotRegular:
    case kFileOutside:
      return kCheckUnreadable;
    case kFileTooBig:
      Add(&c, kFindingTooBig, kInNoFile, 0, "", kSetupName, "", static_cast<unsigned>(kSetupFileCapacity));
      return kCheckDone;
    case kFileRead:
      break;
  }
  c.setupSize = SetupReadSize(work->setupFile, setupFileSize);
  size_t backupSize = 0;
  ReadFileResult backup = ReadFileBytes(PathOf(&c, kBackupName), work->backupFile, kSetupFileCapacity, &backupSize);
  backupSize = SetupReadSize(work->backupFile, backupSize);
  AddTextFileKind(&c, backup, kBackupName);
  bool haveBackup = backup == kFileRead && backupSize > 0;
  if (haveBackup && !RememberBackup(&c, backupSize)) haveBackup = false;
  if (backup == kFileTooBig || (backup == kFileRead && backupSize > 0 && !haveBackup)) {
    Add(&c, kFindingTooBig, kInNoFile, 0, "", kBackupName, "", static_cast<unsigned>(kSetupFileCapacity));
  }
  if (!haveBackup) Add(&c, kNoteNoBackup, kInNoFile, 0, "", kBackupName, "");
  if (haveBackup) CheckNothingLost(&c, backupSize);

  char folderName[64];
  GetFolderName(c.folder, folderName, sizeof folderName);
  SetupIdentity identity;
  ReadSetupIdentity(work->setupFile, c.setupSize, folderName, &identity);
  result->machine = identity.machine;
  result->machineEvidence = identity.evidence;
  result->majorVersion = identity.majorVersion;
  result->minorVersion = identity.minorVersion;
  if (result->machine == 0) Add(&c, kNoteArchitectureUnknown, kInNoFile, 0, "", kSetupName, "");

  CheckText(&c, work->setupFile, setupFileSize, kSetupName, kInSetupFile);
  CollectServices(&c, haveBackup);
  if (c.servicesCut) {
    Add(&c, kFindingTooBig, kInNoFile, 0, "", kSetupName, "services", kMaxCheckedServices);
  }
  LookUpServices(&c);
  unsigned bootLine = 0, filesLine = 0;
  bool haveDosnet = ReadDosnet(&c, &c.dosnetSize, &bootLine, &filesLine);
  CollectInfRows(&c, haveBackup);
  CollectServiceIds(&c);
  FindServingInfs(&c, haveBackup);

  for (unsigned i = 0; i < c.serviceCount; ++i) {
    const CheckedService& s = work->services[i];
    if (s.loadLine == 0) {
      if (s.idCount > 0 && !s.loadedElsewhere) {
        Add(&c, kFindingIdWithoutLoad, kInSetupFile, s.idLine, s.name, "", s.id, s.idCount);
      }
      continue;
    }
    if (!s.inScsi) Add(&c, kFindingNotInScsi, kInSetupFile, s.loadLine, s.name, s.file, "");
    if (!s.inSourceDisksFiles) Add(&c, kFindingNoSourceDisksFiles, kInSetupFile, s.loadLine, s.name, s.file, "");
    CheckDriverFile(&c, s);
    if (haveDosnet && !s.inBootFiles) Add(&c, kFindingNotInBootFiles, kInDosnet, bootLine, s.name, s.file, "");
    if (haveDosnet && !s.inDosnetFiles) Add(&c, kFindingNotInDosnetFiles, kInDosnet, filesLine, s.name, s.file, "");
    CheckServiceInf(&c, s, haveDosnet, filesLine);
  }
  AddInfRowFindings(&c);
  if (haveDosnet) CheckText(&c, work->dosnet, c.dosnetSize, kDosnetName, kInDosnet);
  return kCheckDone;
}

}  // namespace o2s
