// The catalogue of everything the survey and oem2sif-integrate say, in
// Japanese and English: one table, each line in both languages with the
// same printf arguments in the same order. Japanese texts are code page 932
// bytes, as the tool's own messages are; the console turns them into the
// terminal's charset. English is ASCII.
#ifndef OEM2SIF_ENGINE_MESSAGES_H
#define OEM2SIF_ENGINE_MESSAGES_H

#include <string>

#include "platform/platform.h"

namespace o2s::engine {

using o2s::Language;

enum class MessageId {
  kUsage,
  kUsageUnknownArgument,
  kUsageMissingValue,
  kUsageNoDrivers,
  kUsageWindowsValue,
  kUsageOptionForm,
  kUsageNoSuchDriver,
  kUsageNoSuchOption,
  kUsageNoVersion,
  kNoSetupFile,
  kSetupNotRegular,
  kSetupTooBig,
  kSetupUnreadable,
  kDriverNoOem,
  kDriverNotRegular,
  kDriverTooBig,
  kDriverUnreadable,
  kDriverNoOptions,
  kHeadingSetup,
  kSetupMachine,
  kEvidenceSetupData,
  kEvidenceFolderName,
  kEvidenceSections,
  kSetupMachineUnknown,
  kSetupVersion,
  kSetupVersion52,
  kSetupVersionUnknown,
  kWindowsGiven,
  kVersion40,
  kVersion50,
  kVersion51,
  kVersion52,
  kVersion60,
  kListSeparator,
  kHeadingDriver,
  kOptionTicked,
  kOptionUnticked,
  kOptionNotTickable,
  kFileAt,
  kFileBeside,
  kFileNotFound,
  kFileNotBeside,
  kDirectoryRefused,
  kBuiltFor,
  kBuiltGuessed,
  kBuiltByFolder,
  kBuiltUnknown,
  kProblemEmpty,
  kProblemNotDriver,
  kProblemNotChecked,
  kMachineOther,
  kVersionsNamed,
  kReasonFits,
  kReasonSameVersion,
  kReasonNearest,
  kReasonUserTicked,
  kReasonUserUnticked,
  kReasonOtherMachine,
  kReasonOtherVersion,
  kReasonLaterVersion,
  kReasonNt4,
  kReasonNoDriverFile,
  kReasonNoIds,
  kReasonRefusedNotPlain,
  kReasonRefusedSetupOwn,
  kGuiServes,
  kGuiNoInf,
  kGuiInfNotFound,
  kGuiInfNotRead,
  kGuiInfNoIds,
  kGuiFileMissing,
  kGuiFileUnsafe,
  kHeadingConflicts,
  kPlannedOption,
  kPlannedService,
  kPlannedId,
  kRemapped,
  kHeadingFiles,
  kFileBrought,
  kFileInSetup,
  kFileInSetupCompressed,
  kFileNotBrought,
  kFileMissing,
  kFileLaterRun,
  kFileSameFolder,
  kHeadingSupportFiles,
  kSupportBrought,
  kSupportCopiedBrought,
  kSupportListedBySetup,
  kHeadingRuns,
  kRunAll,
  kRunKept,
  kNothingTicked,
  kDryRun,
  kHeadingWritten,
  kActionCreate,
  kActionReplace,
  kActionSame,
  kActionKeepBackup,
  kActionRepair,
  kActionConflict,
  kFailSetupFileMissing,
  kFailSetupFileChanged,
  kFailDriverFileMissing,
  kFailNotRegularFile,
  kFailRunFailed,
  kFailWriteFailed,
  kFailScratchFailed,
  kFailUnsafeName,
  kFailFileTooBig,
  kHeadingCheck,
  kCheckFailed,
  kCount
};

// The text of `id` in `language` (a printf format where it takes
// arguments).
const char* MessageText(Language language, MessageId id);

// The text with its arguments put in, printf-style.
std::string FormatMessage(Language language, MessageId id, ...);

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_MESSAGES_H
