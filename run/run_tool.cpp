#include "run/run_tool.h"

#include "oem/driver_description.h"
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
OptionObserver gOptionObserver = nullptr;

}  // namespace

void ProcessDriverOptions(unsigned char targetIsWindows2000) {
  // Whole-run buffers; static, as they are too big for a small stack.
  static DriverDescription driver;
  static OptionDescription option;
  char scratch[kScratchCapacity];

  RotateSetupBackup();
  ReadDriverDescription(kOemFile, &driver);
  for (unsigned i = 0; i < driver.optionCount; ++i) {
    if (!ReadOptionDescription(kOemFile, driver, i, &option)) continue;
    if (gOptionObserver != nullptr) gOptionObserver(option);
    WriteDriverOption(kSetupFile, scratch, option.key, option.description, option.driverFile,
                      option.ids, option.services, option.idCount, targetIsWindows2000);
  }
}

OptionObserver SetOptionObserver(OptionObserver observer) {
  OptionObserver before = gOptionObserver;
  gOptionObserver = observer;
  return before;
}

void PrintMenu() {
  PrintConsole(kMenuWindows2000, '1');
  PrintConsole(kMenuWindowsXp, '2');
  PrintConsole(kMenuQuit);
  PrintConsole(kMenuPrompt);
}

int PrintChoice(int answer) {
  switch (answer) {
    case '1':
      PrintConsole(kChoseWindows2000);
      return 1;
    case '2':
      PrintConsole(kChoseWindowsXp);
      return 0;
    default:
      PrintConsole(kQuitting);
      return -1;
  }
}

void PrintFinalPrompt() { PrintConsole(kPressEnter); }

void RunTool() {
  StartConsole();
  PrintMenu();
  int targetIsWindows2000 = PrintChoice(ReadConsoleChar());
  if (targetIsWindows2000 < 0) EndProcess(kToolExitStatus);
  ReadConsoleChar();  // the line feed that ended the choice

  ProcessDriverOptions(static_cast<unsigned char>(targetIsWindows2000));

  PrintFinalPrompt();
  ReadConsoleChar();
  EndProcess(kToolExitStatus);
}

}  // namespace o2s
