#include "run/run_tool.h"

#include <cstdio>
#include <cstring>

#include "oem/oem_reader.h"
#include "platform/platform.h"
#include "sif/sif_writer.h"

namespace o2s {
namespace {

const char kOemFile[] = ".\\txtsetup.oem";
const char kSetupFile[] = ".\\txtsetup.sif";

// "Windows2000用の変更:%c\n"
const char kMenuWindows2000[] = "Windows2000\x97p\x82\xcc\x95\xcf\x8dX:%c\n";
// "WindowsXP用の変更:%c\n"
const char kMenuWindowsXp[] = "WindowsXP\x97p\x82\xcc\x95\xcf\x8dX:%c\n";
// "何もせずに終了:Enter\n"
const char kMenuQuit[] = "\x89\xbd\x82\xe0\x82\xb9\x82\xb8\x82\xc9\x8fI\x97\xb9:Enter\n";
// "処理を選択してください: "
const char kMenuPrompt[] =
    "\x8f\x88\x97\x9d\x82\xf0\x91I\x91\xf0\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2: ";
// "Windows2000が選択されました。\n"
const char kChoseWindows2000[] =
    "Windows2000\x82\xaa\x91I\x91\xf0\x82\xb3\x82\xea\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "WindowsXPが選択されました。\n"
const char kChoseWindowsXp[] =
    "WindowsXP\x82\xaa\x91I\x91\xf0\x82\xb3\x82\xea\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "終了します。\n"
const char kQuitting[] = "\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81" "B\n";
// "Enterを押すと終了します。"
const char kPressEnter[] =
    "Enter\x82\xf0\x89\x9f\x82\xb7\x82\xc6\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81" "B";
// "ERROR! %sのキーが長すぎるので処理をしません。\n"
const char kKeyTooLong[] =
    "ERROR! %s\x82\xcc\x83L\x81[\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xe9\x82\xcc"
    "\x82\xc5\x8f\x88\x97\x9d\x82\xf0\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";

const char kFilesSectionFormat[] = "files.scsi.%s";
const char kIdsSectionFormat[] = "hardwareids.scsi.%s";

const unsigned kSectionNameCapacity = 100;
const unsigned kDriverValueCapacity = 100;
const unsigned kIdSectionCapacity = 10000;

// Both section names must fit the section-name buffer; the longer prefix
// decides.
const size_t kMaxOptionKey = kSectionNameCapacity - 1 - (sizeof "hardwareids.scsi." - 1);

}  // namespace

char* CleanDescription(char* value) {
  TakeNextToken(value, ",\"");
  return value[0] == '"' ? value + 1 : value;
}

unsigned ReadDriverOptions(char* optionSection, char** optionKeys,
                           char** descriptions) {
  unsigned optionCount =
      ReadSectionEntries(kOemFile, "scsi", optionSection, kOptionSectionCapacity,
                         optionKeys, descriptions, kMaxOptions);
  for (unsigned i = 0; i < optionCount; ++i) {
    descriptions[i] = CleanDescription(descriptions[i]);
  }
  return optionCount;
}

void ProcessDriverOptions(unsigned char targetIsWindows2000) {
  char optionSection[kOptionSectionCapacity];
  char* optionKeys[kMaxOptions];
  char* optionValues[kMaxOptions];
  char sectionName[kSectionNameCapacity];
  char driverValue[kDriverValueCapacity];
  char idSection[kIdSectionCapacity];
  char* ids[kMaxHardwareIds];
  char* services[kMaxHardwareIds];
  char scratch[kScratchCapacity];

  RotateSetupBackup();
  unsigned optionCount = ReadDriverOptions(optionSection, optionKeys, optionValues);
  for (unsigned i = 0; i < optionCount; ++i) {
    const char* key = optionKeys[i];
    if (strlen(key) > kMaxOptionKey) {
      PrintConsole(kKeyTooLong, key);
      continue;
    }
    snprintf(sectionName, sizeof sectionName, kFilesSectionFormat, key);
    char* driverFile = ReadDriverFile(kOemFile, sectionName, driverValue,
                                      sizeof driverValue, key);
    snprintf(sectionName, sizeof sectionName, kIdsSectionFormat, key);
    unsigned idCount = ReadHardwareIds(kOemFile, sectionName, idSection,
                                       sizeof idSection, ids, services, key);
    WriteDriverOption(kSetupFile, scratch, key, optionValues[i], driverFile,
                      ids, services, idCount, targetIsWindows2000);
  }
}

void RunTool() {
  StartConsole();
  PrintConsole(kMenuWindows2000, '1');
  PrintConsole(kMenuWindowsXp, '2');
  PrintConsole(kMenuQuit);
  PrintConsole(kMenuPrompt);
  unsigned char targetIsWindows2000;
  switch (ReadConsoleChar()) {
    case '1':
      PrintConsole(kChoseWindows2000);
      targetIsWindows2000 = 1;
      break;
    case '2':
      PrintConsole(kChoseWindowsXp);
      targetIsWindows2000 = 0;
      break;
    default:
      PrintConsole(kQuitting);
      EndProcess(0);
  }
  ReadConsoleChar();  // the line feed that ended the choice

  ProcessDriverOptions(targetIsWindows2000);

  PrintConsole(kPressEnter);
  ReadConsoleChar();
  EndProcess(0);
}

}  // namespace o2s
