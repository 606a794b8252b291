#include "check/setup_identity.h"

#include <cstring>

#include "check/pe_image.h"
#include "check/text_lines.h"

namespace o2s {
namespace {

// The machine of an architecture's name in setup's spelling, or 0.
unsigned MachineOfArchitecture(const char* name, size_t length) {
  if (EqualNoCase(name, length, "i386") || EqualNoCase(name, length, "x86")) return kMachineX86;
  if (EqualNoCase(name, length, "amd64")) return kMachineX64;
  if (EqualNoCase(name, length, "ia64")) return kMachineIa64;
  return 0;
}

unsigned MachineOfFolderName(const char* name) {
  if (name == nullptr) return 0;
  size_t length = strlen(name);
  if (EqualNoCase(name, length, "I386")) return kMachineX86;
  if (EqualNoCase(name, length, "AMD64")) return kMachineX64;
  if (EqualNoCase(name, length, "IA64")) return kMachineIa64;
  return 0;
}

// The value without one pair of quotes around it, trimmed.
void ValueOf(const TextLines& lines, const char** text, size_t* length) {
  *text = lines.bytes + lines.line.valueOffset;
  *length = lines.line.valueLength;
  if (*length >= 2 && (*text)[0] == '"' && (*text)[*length - 1] == '"') {
    ++*text;
    *length -= 2;
  }
  TrimBlanks(text, length);
}

// A plain decimal number; 0 for anything else (or one too big to matter).
unsigned NumberOf(const char* text, size_t length) {
  if (length == 0 || length > 6) return 0;
  unsigned number = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    number = number * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return number;
}

// The architecture a [SourceDisksFiles.ARCH] or [SourceDisksNames.ARCH]
// header names, or 0.
unsigned MachineOfSection(const TextLines& lines) {
  const char* name = lines.bytes + lines.sectionOffset;
  size_t length = lines.sectionLength;
  static const char* const kPrefixes[] = {"SourceDisksFiles.", "SourceDisksNames."};
  for (const char* prefix : kPrefixes) {
    size_t prefixLength = strlen(prefix);
    if (length > prefixLength && EqualNoCase(name, prefixLength, prefix)) {
      return MachineOfArchitecture(name + prefixLength, length - prefixLength);
    }
  }
  return 0;
}

}  // namespace

size_t SetupReadSize(const char* bytes, size_t size) {
  const void* marker = memchr(bytes, '\x1a', size);
  return marker != nullptr ? static_cast<size_t>(static_cast<const char*>(marker) - bytes) : size;
}

void ReadSetupIdentity(const char* bytes, size_t size, const char* folderName, SetupIdentity* identity) {
  memset(identity, 0, sizeof *identity);
  unsigned architecture = 0;
  bool haveArchitecture = false, haveMajor = false, haveMinor = false;
  const unsigned kMachines[] = {kMachineX86, kMachineX64, kMachineIa64};
  size_t entries[3] = {0, 0, 0};
  TextLines lines;
  StartLines(&lines, bytes, SetupReadSize(bytes, size));
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry) continue;
    if (InSection(lines, "SetupData")) {
      // The first occurrence of a key counts, as the profile engine reads it.
      const char* key = lines.bytes + lines.line.nameOffset;
      size_t keyLength = lines.line.nameLength;
      const char* value;
      size_t valueLength;
      ValueOf(lines, &value, &valueLength);
      if (!haveArchitecture && EqualNoCase(key, keyLength, "Architecture")) {
        haveArchitecture = true;
        architecture = MachineOfArchitecture(value, valueLength);
      } else if (!haveMajor && EqualNoCase(key, keyLength, "MajorVersion")) {
        haveMajor = true;
        identity->majorVersion = NumberOf(value, valueLength);
      } else if (!haveMinor && EqualNoCase(key, keyLength, "MinorVersion")) {
        haveMinor = true;
        identity->minorVersion = NumberOf(value, valueLength);
      }
      continue;
    }
    unsigned machine = MachineOfSection(lines);
    for (unsigned i = 0; i < 3; ++i) {
      if (machine != 0 && machine == kMachines[i]) ++entries[i];
    }
  }
  if (architecture != 0) {
    identity->machine = architecture;
    identity->evidence = kMachineFromSetupData;
    return;
  }
  unsigned named = MachineOfFolderName(folderName);
  if (named != 0) {
    identity->machine = named;
    identity->evidence = kMachineFromFolderName;
    return;
  }
  unsigned most = 0;
  bool tie = false;
  for (unsigned i = 1; i < 3; ++i) {
    if (entries[i] > entries[most]) {
      most = i;
      tie = false;
    } else if (entries[i] == entries[most]) {
      tie = true;
    }
  }
  if (entries[most] > 0 && !tie) {
    identity->machine = kMachines[most];
    identity->evidence = kMachineFromSections;
  }
}

}  // namespace o2s
