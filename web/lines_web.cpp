// The engine's reading of a setup file's lines, for the page's change view:
// the page keeps no rules of its own for sections, keys, comments and blanks.
#include <emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/profile_lines.h"

namespace {

std::vector<uint32_t> gIndex;

}  // namespace

// Reads `size` bytes as the engine reads a profile file and returns seven
// numbers per line (*lineCount lines), valid until the next call:
//   offset of the line, its length without the line end, kind (0 blank,
//   1 section header, 2 entry, 3 comment, 4 other), offset and length of
//   the section name or key, offset and length of the value; offsets from
//   the start of the file.
// `folded` (size bytes) gets the bytes with every section name and key in
// the letter case the engine compares them in, so that the page can match
// names by their text.
extern "C" EMSCRIPTEN_KEEPALIVE const uint32_t* o2s_index_lines(
    const char* bytes, uint32_t size, char* folded, uint32_t* lineCount) {
  std::string data(bytes, size);
  std::vector<o2s::Line> lines;
  o2s::ParseLines(data, 0, data.size(), &lines);
  gIndex.clear();
  gIndex.reserve(lines.size() * 7);
  data.copy(folded, data.size());
  for (const o2s::Line& line : lines) {
    size_t name = line.offset + line.nameOffset;
    for (size_t i = 0; i < line.nameLength; ++i) folded[name + i] = o2s::LowerAscii(data[name + i]);
    for (size_t number : {line.offset, line.length, static_cast<size_t>(line.kind), name,
                          line.nameLength, line.offset + line.valueOffset, line.valueLength}) {
      gIndex.push_back(static_cast<uint32_t>(number));
    }
  }
  *lineCount = static_cast<uint32_t>(lines.size());
  return gIndex.data();
}
