// The text of the check's findings: Japanese in code page 932, as the tool
// prints its messages, or English in ASCII (for the page). Each block names
// where (the text file and line, the service, the file), what is wrong and
// what text-mode setup would do about it.
#ifndef OEM2SIF_CHECK_FINDING_TEXT_H
#define OEM2SIF_CHECK_FINDING_TEXT_H

#include <cstddef>

#include "check/check.h"
#include "platform/platform.h"

namespace o2s {

// Writes the block of `finding` into buf (capacity bytes, cut at a character
// boundary, zero-ended) and returns its length: a first line "ERROR! " (a
// problem) or "注意: " ("Note: ") with where, then one or two lines
// indented by two spaces, each ended by a line feed. `sourceMachine` is the
// CheckResult's.
size_t FormatFinding(const Finding& finding, unsigned sourceMachine, char* buf,
                     size_t capacity, Language language = Language::kJapanese);
// The same, with the CheckResult's machine and what told it: a finding of a
// driver for another machine also says how the setup's machine is known.
size_t FormatFinding(const Finding& finding, const CheckResult& result,
                     char* buf, size_t capacity, Language language = Language::kJapanese);

// The closing line: the number of problems, and of findings not shown.
size_t FormatFindingCount(const CheckResult& result, char* buf, size_t capacity,
                          Language language = Language::kJapanese);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_FINDING_TEXT_H
