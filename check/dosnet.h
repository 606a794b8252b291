// dosnet.inf, the list of files that winnt32.exe (and the tools that put a
// setup source on a USB stick the same way) copies: its boot-time files in
// [FloppyFiles.2] and the rest in [Files], one "d1,NAME" line each (d1 the
// setup folder itself). A driver that setup loads must be in both.
#ifndef OEM2SIF_CHECK_DOSNET_H
#define OEM2SIF_CHECK_DOSNET_H

#include <cstddef>

namespace o2s {

extern const char kDosnetBootSection[];   // "FloppyFiles.2"
extern const char kDosnetFilesSection[];  // "Files"

// Whether the line text[0, length) copies `name` from the setup folder: its
// first field is d1 and its second `name`, both in any ASCII letter case,
// with white space around the fields (more fields may follow).
bool DosnetLineNames(const char* text, size_t length, const char* name,
                     size_t nameLength);

enum DosnetEditResult {
  kDosnetChanged,    // one or both lines were added
  kDosnetUnchanged,  // both were there: out holds the same bytes
  kDosnetTooBig,     // the result does not fit `capacity` (out unspecified)
  kDosnetBadName,    // empty, or holds a comma, ';', '[', ']', '=', '"' or a control byte
};

// Adds "d1,NAME" to [FloppyFiles.2] and to [Files] of the dosnet.inf bytes
// text[0, size), writing the result to out (capacity bytes; it must not
// overlap text) and its size to *outSize. Sections are read as the profile
// engine reads them (platform.h): a repeated header continues its section.
// - A section that names NAME already (DosnetLineNames, in any of its
//   occurrences) gets nothing.
// - Otherwise the line goes right after the last line of the section's first
//   occurrence that is neither blank nor a comment (after its header when it
//   has none), ended with the file's own line end (that of its first line;
//   CR LF for a file without one).
// - A missing section is added at the end, after a blank line (one is added
//   unless the file ends with one), as "[NAME]" and the line.
// - Setup stops reading at the first 0x1A byte, so everything from there on
//   is left where it is and out of the reading: the lines go before it.
// - Every other byte stays as it was.
DosnetEditResult AddDriverToDosnet(const char* text, size_t size, const char* name,
                                   char* out, size_t capacity, size_t* outSize);

// The same edit for one line of any section of a setup text file: adds
// `line` (no line end) to `section` as above, unless a line of the section
// names `name` already: "d1,NAME" (kMatchDosnetFile) or an entry whose key
// is NAME (kMatchEntryKey, txtsetup.sif's [SourceDisksFiles]). The line
// must hold no control byte; kDosnetBadName otherwise.
enum SectionLineMatch { kMatchDosnetFile, kMatchEntryKey };
DosnetEditResult AddLineToSection(const char* text, size_t size, const char* section, const char* name,
                                  SectionLineMatch match, const char* line, char* out, size_t capacity,
                                  size_t* outSize);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_DOSNET_H
