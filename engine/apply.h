// Carries out an integration plan (engine/plan.h) on a setup folder, with
// the promises of the tool itself: txtsetup.sif keeps one backup of its
// original, every file is replaced whole (a temporary file and a rename in
// its own folder), and a run killed at any moment or stopped by a full disk
// leaves each file either as it was or as planned, never cut and never
// lost. Nothing is written outside the setup folder but the runs' scratch
// folder, which is removed.
//
// What it writes, in this order, so that a write cut short never leaves a
// setup file that names a file not there yet, nor one without its backup:
//  1. each brought file whose name the folder lacks (or holds empty, or
//     holds as the start of the same bytes: a write cut short); a file of
//     that name with other bytes is left alone and reported (kConflict);
//  2. txtsetup.sif.orig where the folder has none (or an empty one): the
//     folder's txtsetup.sif as it was; dosnet.inf.orig likewise where the
//     folder has dosnet.inf and the runs change it;
//  3. dosnet.inf with each brought driver file in [FloppyFiles.2] and
//     [Files] (check/dosnet.h), where the folder has one;
//  4. txtsetup.sif as the chain of runs left it.
// The bytes are those the page gives for the same picks and ticks.
#ifndef OEM2SIF_ENGINE_APPLY_H
#define OEM2SIF_ENGINE_APPLY_H

#include <string>
#include <vector>

#include "engine/plan.h"

namespace o2s::engine {

enum class FileAction {
  kCreate,      // not there: written
  kReplace,     // there, with the bytes it had when the plan was made: replaced
  kSame,        // there with the planned bytes already: untouched
  kKeepBackup,  // a backup there already: kept
  kRepair,      // there empty, or as the start of the planned bytes: written whole
  kConflict,    // there with other bytes: left alone, reported
};

struct FileOutcome {
  std::string name;  // as in the setup folder
  FileAction action;
  // Written by this apply (not on a dry run, nor after a failure).
  bool written = false;
};

// What went wrong, for the message catalogue; `subject` names the file.
enum class ApplyFailure {
  kNone,
  kSetupFileMissing,      // no txtsetup.sif in the setup folder
  // txtsetup.sif changed while the plan was carried out (or another file
  // it writes, since its action was decided): nothing more is written.
  kSetupFileChanged,
  kDriverFileMissing,     // a driver's txtsetup.oem or a brought file is gone
  kNotRegularFile,        // a name that is a FIFO, device, folder or a link leading outside
  // A run failed: one of its reads or writes did not land (its console
  // says what the tool saw).
  kRunFailed,
  // A file could not be written (full disk, no permission), or dosnet.inf,
  // which the plan edits, could not be read.
  kWriteFailed,
  kScratchFailed,         // the scratch folder could not be made
  // A brought file whose source leads out of its driver folder (.., an
  // absolute path, a drive) or whose name is no plain file name or one of
  // the setup's own (check/setup_names.h); a setup file or txtsetup.oem
  // named with a path.
  kUnsafeName,
  kFileTooBig,            // a file far bigger than any driver or setup file: not read
};

struct ApplyOutcome {
  ApplyFailure failure = ApplyFailure::kNone;
  std::string subject;
  std::vector<FileOutcome> files;  // in the order written
  // Each run's console, as the tool prints it (Shift_JIS bytes) with the
  // plan's answer typed ahead: menu, choice, the run, the final prompt.
  std::vector<std::string> consoles;
  // Each run's exit status, as the tool ends it, for each run carried out
  // to its final prompt.
  std::vector<int> statuses;
};

// Carries out `plan` (dryRun: decides every action, writes nothing but the
// scratch folder, as the runs tell whether txtsetup.sif changes). The runs
// are the tool's own code in this process: not to be called from two
// threads at once, nor while the process's current folder must stay put.
ApplyOutcome ApplyPlan(const IntegrationPlan& plan, bool dryRun);

// The same, with the setup folder only read: each file the plan writes
// goes, under its name there, into `outputFolder` instead (an existing
// folder; the page's worker lays the user's picked files out read-only and
// takes what lands here). Every action is decided against the setup folder.
ApplyOutcome ApplyPlanInto(const IntegrationPlan& plan, const std::string& outputFolder);

// Hears each run's console as the run prints it (`run`: its index in the
// plan), for a page that shows it while the apply goes on; what it hears
// of a run is that run's ApplyOutcome.consoles. Null, the default, calls
// nothing. Returns the observer set before.
using ApplyConsoleObserver = void (*)(size_t run, const char* text, size_t length);
ApplyConsoleObserver SetApplyConsoleObserver(ApplyConsoleObserver observer);

// The tool's console before it reads the answer (its menu, ending in the
// prompt), and where the answer quits it (the Enter key alone) what it
// prints then and the status it ends with: what the page shows before it
// carries out a plan, whose first console begins with `menu`.
struct ToolMenu {
  std::string menu;
  std::string quit;
  int quitStatus = 0;
};
ToolMenu MenuOfTool();

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_APPLY_H
