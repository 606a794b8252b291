// How the profile engine reads a file's lines, and who hears of its writes.
// Shared by platform/ and the page's exports in web/: the engine uses it, and so does the page, whose
// change view must read a setup file exactly as the engine does.
// Internal to platform/.
#ifndef OEM2SIF_PLATFORM_PROFILE_LINES_H
#define OEM2SIF_PLATFORM_PROFILE_LINES_H

#include <cstddef>
#include <string>
#include <vector>

namespace o2s {

enum class LineKind : unsigned char { kBlank, kHeader, kEntry, kComment, kOther };

struct Line {
  size_t offset;        // first byte in the file
  size_t length;        // bytes before the line end
  size_t nameOffset;    // section name or key, relative to offset
  size_t nameLength;
  size_t valueOffset;   // entry value, relative to offset
  size_t valueLength;
  unsigned char endLength;  // 0 (last line without line end), 1 or 2
  LineKind kind;

  size_t End() const { return offset + length + endLength; }
};

// White space within a line (platform.h has the rules).
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\x1a'; }

// Reads the line data[offset, offset + length), which ends with a line end
// of endLength bytes.
Line ParseLine(const char* data, size_t offset, size_t length,
               unsigned char endLength);

// Splits data[from, to) into lines and appends them to out; `to` must be a
// line boundary (the end of the data is one).
void ParseLines(const std::string& data, size_t from, size_t to,
                std::vector<Line>* out);

// The bytes of `data` without the entries of `section` (every occurrence of
// its header, the name in any ASCII letter case) whose key, as the engine
// reads it, is none of `keys` (compared exactly, as a run compares option
// keys). Every other byte stays. The page gives a run a driver's file with
// only the options the user ticked.
std::string KeepSectionEntries(const std::string& data, const char* section,
                               const std::vector<std::string>& keys);

// Called after every WritePrivateProfileStringA that leaves the file holding
// the entry (also when the file already held it), with that call's
// arguments. Null (the default) calls nothing. The page lists the driver
// files a run names through it. Returns the observer set before.
using ProfileWriteObserver = void (*)(const char* section, const char* key,
                                      const char* value, const char* fileName);
ProfileWriteObserver SetProfileWriteObserver(ProfileWriteObserver observer);

}  // namespace o2s

#endif  // OEM2SIF_PLATFORM_PROFILE_LINES_H
