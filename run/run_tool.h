// The run driver: the console dialogue and the order of the whole run.
#ifndef OEM2SIF_RUN_RUN_TOOL_H
#define OEM2SIF_RUN_RUN_TOOL_H

#include "oem/driver_description.h"

namespace o2s {

// Everything after the choice, up to the final prompt: backup rotation, the
// option list of .\txtsetup.oem, description cleaning, and per option the
// two lookups and the write into .\txtsetup.sif (targetIsWindows2000: 1 for
// Windows 2000, 0 for Windows XP). Prints progress and problems.
void ProcessDriverOptions(unsigned char targetIsWindows2000);

// Hears of each option just before the run writes it, as the run read it
// (the page lists what each run wrote). Null, the default, calls nothing.
// Returns the observer set before.
using OptionObserver = void (*)(const OptionDescription& option);
OptionObserver SetOptionObserver(OptionObserver observer);

// The console's text around ProcessDriverOptions, as the tool prints it,
// so that a run with the answer typed ahead (the engine's) prints the
// tool's bytes: the menu ending in its prompt; the echo of the choice
// `answer` (the character typed), returning 1 for Windows 2000, 0 for
// Windows XP, -1 for anything else (the tool quits); the final prompt.
void PrintMenu();
int PrintChoice(int answer);
void PrintFinalPrompt();

// The status the tool ends with, whether it ran or quit at the menu.
constexpr int kToolExitStatus = 0;

// The whole run: menu, choice, backup rotation, every option of
// .\txtsetup.oem written into .\txtsetup.sif, final prompt. Ends the process
// (kToolExitStatus) and never returns.
[[noreturn]] void RunTool();

}  // namespace o2s

#endif  // OEM2SIF_RUN_RUN_TOOL_H
