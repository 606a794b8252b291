// The check's reading of a setup folder's text files (txtsetup.sif,
// dosnet.inf) line by line as the profile engine reads them, with line
// numbers and the section of each line, within the caller's buffer.
// Internal to check/.
#ifndef OEM2SIF_CHECK_TEXT_LINES_H
#define OEM2SIF_CHECK_TEXT_LINES_H

#include <cstddef>

#include "platform/ascii_case.h"
#include "platform/platform.h"

namespace o2s {

struct TextLines {
  const char* bytes;
  size_t size;
  size_t next;           // where the next line starts
  unsigned number;       // of `line`, from 1
  ProfileLine line;
  bool inSection;        // a header came before `line`
  size_t sectionOffset;  // the name of the last header (the header itself
  size_t sectionLength;  // for a header line)
};

void StartLines(TextLines* lines, const char* bytes, size_t size);
// Moves to the next line; false after the last.
bool NextLine(TextLines* lines);
// Whether the current line lies in (or heads) section `name`, in any letter case.
bool InSection(const TextLines& lines, const char* name);

// A byte run and a zero-ended text compared as Windows compares names
// (platform/ascii_case.h, which also compares two runs).
bool EqualNoCase(const char* a, size_t aLength, const char* text);
// Drops spaces, tabs and 0x1A bytes from both ends.
void TrimBlanks(const char** text, size_t* length);
// Copies text[0, length) into buf, cut to capacity - 1 bytes, zero-ended.
void CopyText(char* buf, size_t capacity, const char* text, size_t length);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_TEXT_LINES_H
