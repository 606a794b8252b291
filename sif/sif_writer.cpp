#include "sif/sif_writer.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace o2s {
namespace {

const char kSetupFile[] = ".\\txtsetup.sif";
const char kTempFile[] = ".\\txtsetup.sif.temp";
const char kBackupFile[] = ".\\txtsetup.sif.orig";

const char kValueFor2000[] = "1,,,,,,3_,4,1";
const char kValueForXp[] = "1,,,,,,4_,4,1,,,1,4";

// "ERROR! %sのドライバーがないので処理をしません。\n"
const char kNoDriver[] =
    "ERROR! %s\x82\xcc\x83h\x83\x89\x83" "C\x83o\x81[\x82\xaa\x82\xc8\x82\xa2"
    "\x82\xcc\x82\xc5\x8f\x88\x97\x9d\x82\xf0\x82\xb5\x82\xdc\x82\xb9\x82\xf1"
    "\x81" "B\n";
// "ERROR! %sのHardwareIDに異常があるので処理をしません。\n"
const char kBadHardwareIds[] =
    "ERROR! %s\x82\xccHardwareID\x82\xc9\x88\xd9\x8f\xed\x82\xaa\x82\xa0\x82\xe9"
    "\x82\xcc\x82\xc5\x8f\x88\x97\x9d\x82\xf0\x82\xb5\x82\xdc\x82\xb9\x82\xf1"
    "\x81" "B\n";
// "ERROR! HardwareIds.scsi.%sのService名が長すぎるので処理をしません。\n"
const char kServiceTooLong[] =
    "ERROR! HardwareIds.scsi.%s\x82\xccService\x96\xbc\x82\xaa\x92\xb7\x82\xb7"
    "\x82\xac\x82\xe9\x82\xcc\x82\xc5\x8f\x88\x97\x9d\x82\xf0\x82\xb5\x82\xdc"
    "\x82\xb9\x82\xf1\x81" "B\n";
// "%s\n書き込み中\n"
const char kWriting[] = "%s\n\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\n";
// "\nERROR! HardwareIds.scsi.%sのService名に異なるものが含まれています。\n
//  一番上:%s 不一致:%s\n正常に動作しない可能性があります。\n"
const char kServiceMismatch[] =
    "\nERROR! HardwareIds.scsi.%s\x82\xccService\x96\xbc\x82\xc9\x88\xd9\x82\xc8"
    "\x82\xe9\x82\xe0\x82\xcc\x82\xaa\x8a\xdc\x82\xdc\x82\xea\x82\xc4\x82\xa2"
    "\x82\xdc\x82\xb7\x81" "B\n\x88\xea\x94\xd4\x8f\xe3:%s \x95s\x88\xea\x92v:%s\n"
    "\x90\xb3\x8f\xed\x82\xc9\x93\xae\x8d\xec\x82\xb5\x82\xc8\x82\xa2\x89\xc2"
    "\x94\x5c\x90\xab\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "ERROR! %sの書き込みに失敗しました。\n"
const char kWriteFailed[] =
    "ERROR! %s\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5"
    "\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "ERROR! ファイルが書き込み禁止になっている可能性があります。\n"
const char kWriteProtected[] =
    "ERROR! \x83t\x83@\x83" "C\x83\x8b\x82\xaa\x8f\x91\x82\xab\x8d\x9e\x82\xdd"
    "\x8b\xd6\x8e~\x82\xc9\x82\xc8\x82\xc1\x82\xc4\x82\xa2\x82\xe9\x89\xc2\x94"
    "\x5c\x90\xab\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";

// The quotes and the terminator take three bytes of the scratch buffer.
const size_t kMaxQuotedText = kScratchCapacity - 3;

bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

// Length of the longest start of `text` that fits `limit` bytes without
// splitting a two-byte character.
size_t FitAtCharacter(const char* text, size_t limit) {
  size_t at = 0;
  while (text[at] != '\0') {
    size_t width = IsLeadByte(static_cast<unsigned char>(text[at])) && text[at + 1] != '\0' ? 2 : 1;
    if (at + width > limit) break;
    at += width;
  }
  return at;
}

void WriteQuoted(char* scratch, const char* text, size_t length) {
  snprintf(scratch, kScratchCapacity, "\"%.*s\"", static_cast<int>(length), text);
}

// False when the file could not be opened for appending (the message is
// printed here).
bool AppendEndMarker(const char* fileName, char* scratch) {
  AppendStream* stream = OpenAppendStream(fileName);
  if (stream == nullptr) {
    PrintConsole(kWriteProtected);
    return false;
  }
  scratch[0] = '\x1a';
  WriteAppendStream(stream, scratch, 1);
  CloseAppendStream(stream);
  return true;
}

}  // namespace

void RotateSetupBackup() {
  bool copied = CopyFileA(kSetupFile, kTempFile, 0) != 0;
  // Without a copy the move would leave the run without its setup file.
  bool moved = copied && MoveFileA(kSetupFile, kBackupFile) != 0;
  if (!MoveFileA(kTempFile, kSetupFile) && moved) {
    MoveFileA(kBackupFile, kSetupFile);  // undo: the file stays where it was
  }
  DeleteFileA(kTempFile);
}

void WriteDriverOption(const char* fileName, char* scratch,
                       const char* optionKey, const char* description,
                       const char* driverFile, char* const* ids,
                       char* const* services, unsigned idCount,
                       unsigned char targetIsWindows2000) {
  if (driverFile == nullptr) {
    PrintConsole(kNoDriver, optionKey);
    return;
  }
  if (idCount == 0) {
    PrintConsole(kBadHardwareIds, optionKey);
    return;
  }
  const char* service = services[0];
  // A cut service name would name a service that does not exist.
  if (strlen(service) > kMaxQuotedText) {
    PrintConsole(kServiceTooLong, optionKey);
    return;
  }
  PrintConsole(kWriting, description);

  bool allWritten = true;
  WriteQuoted(scratch, description, FitAtCharacter(description, kMaxQuotedText));
  allWritten &= WritePrivateProfileStringA("SCSI", service, scratch, fileName) != 0;
  snprintf(scratch, kScratchCapacity, "%s,4", driverFile);
  allWritten &= WritePrivateProfileStringA("SCSI.Load", service, scratch, fileName) != 0;
  allWritten &= WritePrivateProfileStringA("SourceDisksFiles", driverFile,
                                           targetIsWindows2000 ? kValueFor2000 : kValueForXp,
                                           fileName) != 0;

  WriteQuoted(scratch, service, strlen(service));
  for (unsigned i = 0; i < idCount; ++i) {
    if (i % 10 == 9) PrintConsole(".");
    allWritten &= WritePrivateProfileStringA("HardwareIdsDatabase", ids[i], scratch, fileName) != 0;
    if (strcmp(services[i], service) != 0) {
      PrintConsole(kServiceMismatch, optionKey, service, services[i]);
    }
  }
  PrintConsole("\n");
  // A write that did not land (a full disk, say) must not pass for done;
  // a write-protected file has its own message already.
  if (AppendEndMarker(fileName, scratch) && !allWritten) {
    PrintConsole(kWriteFailed, optionKey);
  }
}

}  // namespace o2s
