#include "oem/driver_description.h"

#include <cstdio>
#include <cstring>

#include "platform/ascii_case.h"
#include "platform/platform.h"

namespace o2s {
namespace {

// "ERROR! %sのキーが長すぎるので処理をしません。\n"
const char kKeyTooLong[] =
    "ERROR! %s\x82\xcc\x83L\x81[\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xe9\x82\xcc"
    "\x82\xc5\x8f\x88\x97\x9d\x82\xf0\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";

const char kFilesSectionFormat[] = "files.scsi.%s";
const char kIdsSectionFormat[] = "hardwareids.scsi.%s";

// Both section names must fit the section-name buffer; the longer prefix
// decides.
const size_t kMaxOptionKey = kSectionNameCapacity - 1 - (sizeof "hardwareids.scsi." - 1);

const struct {
  const char* key;
  DriverFileKind kind;
} kFileKinds[] = {{"driver", DriverFileKind::kDriver},
                  {"inf", DriverFileKind::kInf},
                  {"catalog", DriverFileKind::kCatalog},
                  {"dll", DriverFileKind::kDll}};

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }

// Trims blanks and one pair of quotes off text, in place.
char* TrimField(char* text) {
  while (IsBlankByte(*text)) ++text;
  size_t length = strlen(text);
  while (length > 0 && IsBlankByte(text[length - 1])) text[--length] = '\0';
  if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
    text[length - 1] = '\0';
    ++text;
  }
  return text;
}

// A "Disks" value is a description (in quotes, which may hold commas), a
// tag file and a directory. Returns the directory, cut out in place, or
// null when the value has no third field.
char* DiskDirectory(char* value) {
  char* at = value;
  while (IsBlankByte(*at)) ++at;
  if (*at == '"') {
    at = strchr(at + 1, '"');
    if (at == nullptr) return nullptr;
  }
  char* tagFile = strchr(at, ',');
  if (tagFile == nullptr) return nullptr;
  char* directory = strchr(tagFile + 1, ',');
  if (directory == nullptr) return nullptr;
  ++directory;
  char* rest = strchr(directory, ',');
  if (rest != nullptr) *rest = '\0';
  return TrimField(directory);
}

const char* DirectoryOfDisk(const DriverDescription& driver, const char* tag) {
  for (unsigned i = 0; i < driver.diskCount; ++i) {
    if (EqualNoCase(driver.diskTags[i], strlen(driver.diskTags[i]), tag, strlen(tag))) {
      return driver.diskDirectories[i];
    }
  }
  return nullptr;
}

void ReadFileLines(const char* fileName, const DriverDescription& driver,
                   OptionDescription* option) {
  char* keys[kMaxFileLines];
  char* values[kMaxFileLines];
  unsigned entries = ReadSectionEntries(fileName, option->sectionName, option->filesSection,
                                        sizeof option->filesSection, keys, values, kMaxFileLines);
  option->fileCount = 0;
  for (unsigned i = 0; i < entries; ++i) {
    const DriverFileKind* kind = nullptr;
    for (const auto& known : kFileKinds) {
      if (EqualNoCase(keys[i], strlen(keys[i]), known.key, strlen(known.key))) kind = &known.kind;
    }
    if (kind == nullptr) continue;
    const char* tag = TakeNextToken(values[i], kValueDelimiters);
    const char* name = TakeNextToken(nullptr, kValueDelimiters);
    if (name == nullptr) continue;
    const char* config = *kind == DriverFileKind::kDriver ? TakeNextToken(nullptr, kValueDelimiters) : nullptr;
    DriverFileLine& line = option->files[option->fileCount++];
    line.kind = *kind;
    line.diskTag = tag;
    line.fileName = name;
    line.configKey = config != nullptr ? config : "";
    line.diskDirectory = DirectoryOfDisk(driver, tag);
  }
}

}  // namespace

char* CleanDescription(char* value) {
  TakeNextToken(value, ",\"");
  return value[0] == '"' ? value + 1 : value;
}

void ReadDriverDescription(const char* fileName, DriverDescription* driver) {
  driver->optionCount =
      ReadSectionEntries(fileName, "scsi", driver->optionSection, sizeof driver->optionSection,
                         driver->optionKeys, driver->descriptions, kMaxOptions);
  for (unsigned i = 0; i < driver->optionCount; ++i) {
    driver->descriptions[i] = CleanDescription(driver->descriptions[i]);
  }
  char* values[kMaxDisks];
  driver->diskCount = ReadSectionEntries(fileName, "disks", driver->disksSection,
                                         sizeof driver->disksSection, driver->diskTags,
                                         values, kMaxDisks);
  for (unsigned i = 0; i < driver->diskCount; ++i) driver->diskDirectories[i] = DiskDirectory(values[i]);
}

bool ReadOptionDescription(const char* fileName, const DriverDescription& driver,
                           unsigned index, OptionDescription* option) {
  const char* key = driver.optionKeys[index];
  option->index = index;
  option->key = key;
  option->description = driver.descriptions[index];
  option->driverFile = nullptr;
  option->idCount = 0;
  option->fileCount = 0;
  if (strlen(key) > kMaxOptionKey) {
    PrintConsole(kKeyTooLong, key);
    return false;
  }
  snprintf(option->sectionName, sizeof option->sectionName, kFilesSectionFormat, key);
  option->driverFile = ReadDriverFile(fileName, option->sectionName, option->driverValue,
                                      sizeof option->driverValue, key);
  snprintf(option->sectionName, sizeof option->sectionName, kIdsSectionFormat, key);
  option->idCount = ReadHardwareIds(fileName, option->sectionName, option->idSection,
                                    sizeof option->idSection, option->ids, option->services, key);
  snprintf(option->sectionName, sizeof option->sectionName, kFilesSectionFormat, key);
  ReadFileLines(fileName, driver, option);
  return true;
}

}  // namespace o2s
