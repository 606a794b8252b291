// The run driver: the console dialogue and the order of the whole run.
#ifndef OEM2SIF_RUN_RUN_TOOL_H
#define OEM2SIF_RUN_RUN_TOOL_H

namespace o2s {

// Cuts an option's description out of its "scsi" value, in place: the text
// between the quotes, or up to the first comma or quote. Returns where the
// description starts (inside `value`).
char* CleanDescription(char* value);

// The most options a run writes, and the bytes of the "scsi" section it
// reads them from.
const unsigned kMaxOptions = 40;
const unsigned kOptionSectionCapacity = 4000;

// The option list of .\txtsetup.oem as a run takes it: the "scsi" section
// read into `optionSection` (kOptionSectionCapacity bytes), at most
// kMaxOptions entries, each description cleaned. Fills optionKeys[i] and
// descriptions[i] (views into optionSection) and returns the count. The page
// shows a driver's options through it.
unsigned ReadDriverOptions(char* optionSection, char** optionKeys,
                           char** descriptions);

// Everything after the choice, up to the final prompt: backup rotation, the
// option list of .\txtsetup.oem, description cleaning, and per option the
// two lookups and the write into .\txtsetup.sif (targetIsWindows2000: 1 for
// Windows 2000, 0 for Windows XP). Prints progress and problems.
void ProcessDriverOptions(unsigned char targetIsWindows2000);

// The whole run: menu, choice, backup rotation, every option of
// .\txtsetup.oem written into .\txtsetup.sif, final prompt. Ends the process
// (status 0) and never returns.
[[noreturn]] void RunTool();

}  // namespace o2s

#endif  // OEM2SIF_RUN_RUN_TOOL_H
