#include "oem/oem_reader.h"

#include <cstring>

#include "platform/platform.h"

namespace o2s {
namespace {

// "ERROR! files.scsi.%sにフォーマットエラーがあります。\n"
const char kFilesFormatError[] =
    "ERROR! files.scsi.%s\x82\xc9\x83t\x83H\x81[\x83}\x83" "b\x83g\x83G\x83\x89"
    "\x81[\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "ERROR! files.scsi.%sでドライバーが見つかりません。\n"
const char kDriverNotFound[] =
    "ERROR! files.scsi.%s\x82\xc5\x83h\x83\x89\x83" "C\x83o\x81[\x82\xaa\x8c\xa9"
    "\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "ERROR! HardwareIds.scsi.%sにフォーマットエラーがあります。\n"
const char kIdsFormatError[] =
    "ERROR! HardwareIds.scsi.%s\x82\xc9\x83t\x83H\x81[\x83}\x83" "b\x83g\x83G"
    "\x83\x89\x81[\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "ERROR! HardwareIds.scsi.%sでServiceが見つかりません。\n"
const char kServiceNotFound[] =
    "ERROR! HardwareIds.scsi.%s\x82\xc5Service\x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "ERROR! HardwareIds.scsi.%sに有効なidキーがありません。\n"
const char kNoValidId[] =
    "ERROR! HardwareIds.scsi.%s\x82\xc9\x97L\x8c\xf8\x82\xc8id\x83L\x81[\x82\xaa"
    "\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";

char* gContinuation = nullptr;

bool IsDelimiter(char c, const char* delimiters) {
  return c != '\0' && strchr(delimiters, c) != nullptr;
}

void LowerAsciiInPlace(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + 32);
  }
}

}  // namespace

const char kValueDelimiters[] = " ,\"";

char* TakeNextToken(char* text, const char* delimiters) {
  char* at = text != nullptr ? text : gContinuation;
  if (at == nullptr) return nullptr;
  while (IsDelimiter(*at, delimiters)) ++at;
  if (*at == '\0') {
    gContinuation = at;
    return nullptr;
  }
  char* token = at;
  while (*at != '\0' && !IsDelimiter(*at, delimiters)) ++at;
  if (*at != '\0') {
    *at = '\0';
    ++at;
  }
  gContinuation = at;
  return token;
}

unsigned ReadSectionEntries(const char* fileName, const char* sectionName,
                            char* buffer, unsigned capacity, char** keys,
                            char** values, unsigned slotLimit) {
  if (capacity == 0) return 0;
  GetPrivateProfileSectionA(sectionName, buffer, capacity, fileName);
  const char* end = buffer + capacity;
  unsigned count = 0;
  char* line = buffer;
  while (count < slotLimit && line < end && *line != '\0') {
    size_t length = strnlen(line, static_cast<size_t>(end - line));
    if (line + length == end) break;  // unterminated: not a line
    char* next = line + length + 1;
    char* equals = static_cast<char*>(memchr(line, '=', length));
    if (equals != nullptr) {
      *equals = '\0';
      keys[count] = line;
      values[count] = equals + 1;
      if (line[0] != '\0' && equals[1] != '\0') ++count;
    }
    line = next;
  }
  return count;
}

char* ReadDriverFile(const char* fileName, const char* sectionName,
                     char* valueBuffer, unsigned capacity,
                     const char* optionKey) {
  GetPrivateProfileStringA(sectionName, "driver", "null", valueBuffer,
                           capacity, fileName);
  if (TakeNextToken(valueBuffer, kValueDelimiters) == nullptr) {
    PrintConsole(kFilesFormatError, optionKey);
    return nullptr;
  }
  char* driverFile = TakeNextToken(nullptr, kValueDelimiters);
  if (driverFile == nullptr) {
    PrintConsole(kDriverNotFound, optionKey);
    return nullptr;
  }
  return driverFile;
}

unsigned ReadHardwareIds(const char* fileName, const char* sectionName,
                         char* sectionBuffer, unsigned capacity, char** ids,
                         char** services, const char* optionKey) {
  static char* entryKeys[kMaxHardwareIds];
  static char* entryValues[kMaxHardwareIds];
  unsigned entries =
      ReadSectionEntries(fileName, sectionName, sectionBuffer, capacity,
                         entryKeys, entryValues, kMaxHardwareIds);
  unsigned count = 0;
  for (unsigned i = 0; i < entries; ++i) {
    if (strcmp(entryKeys[i], "id") != 0) continue;
    char* id = TakeNextToken(entryValues[i], kValueDelimiters);
    if (id == nullptr) {
      PrintConsole(kIdsFormatError, optionKey);
      continue;
    }
    ids[count] = id;
    char* service = TakeNextToken(nullptr, kValueDelimiters);
    if (service == nullptr) {
      PrintConsole(kServiceNotFound, optionKey);
      continue;
    }
    LowerAsciiInPlace(service);
    services[count] = service;
    ++count;
  }
  if (count == 0) PrintConsole(kNoValidId, optionKey);
  return count;
}

}  // namespace o2s
