// The engine's reading of a setup file's lines, for the page's change view:
// the page keeps no rules of its own for sections, keys, comments and blanks.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/profile_lines.h"
#include "web/layout.h"

namespace {

// One line: its offset, its length without the line end, its kind
// (o2s::LineKind), offset and length of the section name or key, offset and
// length of the value; offsets from the start of the file.
#define O2S_LINE_FIELDS(X) X(offset) X(length) X(kind) X(nameAt) X(nameLength) X(valueAt) X(valueLength)
struct LineRow {
  O2S_LINE_FIELDS(O2S_LAYOUT_MEMBER)
};

std::vector<LineRow> gIndex;

unsigned KindNumber(o2s::LineKind kind) { return static_cast<unsigned>(kind); }

}  // namespace

// The table below, as the page's worker reads it: "line:" and its fields in
// order, "lineKind:" and the kinds as name=value.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_lines_layout() {
  static char layout[256];
  snprintf(layout, sizeof layout,
           "line:" O2S_LINE_FIELDS(O2S_LAYOUT_NAME) "\nlineKind: blank=%u header=%u entry=%u comment=%u other=%u\n",
           KindNumber(o2s::LineKind::kBlank), KindNumber(o2s::LineKind::kHeader), KindNumber(o2s::LineKind::kEntry),
           KindNumber(o2s::LineKind::kComment), KindNumber(o2s::LineKind::kOther));
  return layout;
}

// Reads `size` bytes as the engine reads a profile file and returns a
// LineRow per line (*lineCount lines), valid until the next call.
// `folded` (size bytes) gets the bytes with every section name and key in
// the letter case the engine compares them in, so that the page can match
// names by their text.
extern "C" EMSCRIPTEN_KEEPALIVE const LineRow* o2s_index_lines(
    const char* bytes, uint32_t size, char* folded, uint32_t* lineCount) {
  std::string data(bytes, size);
  std::vector<o2s::Line> lines;
  o2s::ParseLines(data, 0, data.size(), &lines);
  gIndex.clear();
  gIndex.reserve(lines.size());
  data.copy(folded, data.size());
  for (const o2s::Line& line : lines) {
    size_t name = line.offset + line.nameOffset;
    for (size_t i = 0; i < line.nameLength; ++i) folded[name + i] = o2s::LowerAscii(data[name + i]);
    auto n = [](size_t number) { return static_cast<uint32_t>(number); };
    gIndex.push_back({n(line.offset), n(line.length), KindNumber(line.kind), n(name), n(line.nameLength),
                      n(line.offset + line.valueOffset), n(line.valueLength)});
  }
  *lineCount = static_cast<uint32_t>(lines.size());
  return gIndex.data();
}
