// oem2sif-check: checks a finished setup folder before it is burnt or
// copied to a stick, and prints what it finds (check/check.h says what).
//
//   oem2sif-check [SETUP_FOLDER]      (default: the current folder)
//
// Exit status: 0 when nothing is wrong (notes alone are not), 1 with
// problems, 2 for a usage error or a folder without txtsetup.sif.
#include <cstring>

#include "check/check.h"
#include "check/finding_text.h"
#include "oem2sif_version.h"
#include "platform/platform.h"

// The release the executable carries. Nothing reads it; `used` keeps it in
// optimised builds.
extern "C" __attribute__((used)) const char oem2sif_version[] = "version." OEM2SIF_VERSION;

namespace {

// "使い方: oem2sif-check [セットアップフォルダー]\n"
const char kUsage[] =
    "\x8eg\x82\xa2\x95\xfb: oem2sif-check [\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x83t"
    "\x83H\x83\x8b\x83_\x81[]\n";
// "ERROR! %s に txtsetup.sif がありません。\n"
const char kNoSetupFile[] =
    "ERROR! %s \x82\xc9 txtsetup.sif \x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";
// "ERROR! %s の txtsetup.sif を読めません。\n"
const char kUnreadable[] =
    "ERROR! %s \x82\xcc txtsetup.sif \x82\xf0\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";
// "ERROR! フォルダーのパスが長すぎます。\n"
const char kPathTooLong[] =
    "ERROR! \x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x83p\x83X\x82\xaa\x92\xb7\x82\xb7\x82"
    "\xac\x82\xdc\x82\xb7\x81" "B\n";

const unsigned kMaxFindings = 1024;

o2s::CheckWorkspace gWorkspace;
o2s::Finding gFindings[kMaxFindings];
char gText[2048];

}  // namespace

int main(int argc, char** argv) {
  o2s::StartConsole();
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    bool help = argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0);
    o2s::PrintConsole("%s", kUsage);
    o2s::EndProcess(help ? 0 : 2);
  }
  const char* folder = argc == 2 ? argv[1] : "";
  o2s::CheckResult result;
  switch (o2s::CheckSetupFolder(folder, &gWorkspace, gFindings, kMaxFindings, &result)) {
    case o2s::kCheckNoSetupFile:
      o2s::PrintConsole(kNoSetupFile, *folder ? folder : ".");
      o2s::EndProcess(2);
    case o2s::kCheckUnreadable:
      o2s::PrintConsole(kUnreadable, *folder ? folder : ".");
      o2s::EndProcess(2);
    case o2s::kCheckPathTooLong:
      o2s::PrintConsole("%s", kPathTooLong);
      o2s::EndProcess(2);
    case o2s::kCheckDone:
      break;
  }
  for (unsigned i = 0; i < result.count; ++i) {
    o2s::FormatFinding(gFindings[i], result, gText, sizeof gText);
    o2s::PrintConsole("%s\n", gText);
  }
  o2s::FormatFindingCount(result, gText, sizeof gText);
  o2s::PrintConsole("%s", gText);
  o2s::EndProcess(result.problems > 0 ? 1 : 0);
}
