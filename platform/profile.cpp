// The profile engine: reads and writes Windows initialization files the way
// setup reads them, keeping every byte that a write does not change.
//
// A file is held as its bytes plus an index of its lines. A change is a
// splice of the bytes; only the lines it touches are parsed again, so one
// write costs one pass over the bytes and one write of them.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/profile_lines.h"

namespace o2s {

Line ParseLine(const char* data, size_t offset, size_t length,
               unsigned char endLength) {
  Line line{offset, length, 0, 0, 0, 0, endLength, LineKind::kBlank};
  const char* text = data + offset;
  size_t first = 0;
  while (first < length && IsBlank(text[first])) ++first;
  if (first == length) return line;
  size_t last = length;  // one past the last non-blank byte
  while (last > first && IsBlank(text[last - 1])) --last;
  char lead = text[first];
  if (lead == '[') {
    line.kind = LineKind::kHeader;
    size_t start = first + 1;
    const void* close = memchr(text + start, ']', length - start);
    size_t end = close ? static_cast<size_t>(static_cast<const char*>(close) - text) : last;
    while (start < end && IsBlank(text[start])) ++start;
    while (end > start && IsBlank(text[end - 1])) --end;
    line.nameOffset = start;
    line.nameLength = end - start;
    return line;
  }
  if (lead == ';' || lead == '#') {
    line.kind = LineKind::kComment;
    return line;
  }
  const void* equals = memchr(text + first, '=', last - first);
  if (equals == nullptr) {
    line.kind = LineKind::kOther;
    return line;
  }
  line.kind = LineKind::kEntry;
  size_t sign = static_cast<size_t>(static_cast<const char*>(equals) - text);
  size_t keyEnd = sign;
  while (keyEnd > first && IsBlank(text[keyEnd - 1])) --keyEnd;
  line.nameOffset = first;
  line.nameLength = keyEnd - first;
  size_t valueStart = sign + 1;
  while (valueStart < last && IsBlank(text[valueStart])) ++valueStart;
  line.valueOffset = valueStart;
  line.valueLength = last > valueStart ? last - valueStart : 0;
  return line;
}

void ParseLines(const std::string& data, size_t from, size_t to,
                std::vector<Line>* out) {
  const char* bytes = data.data();
  size_t start = from;
  size_t i = from;
  while (i < to) {
    char c = bytes[i];
    if (c != '\n' && c != '\r') {
      ++i;
      continue;
    }
    unsigned char endLength = 1;
    if (c == '\r' && i + 1 < data.size() && bytes[i + 1] == '\n') endLength = 2;
    out->push_back(ParseLine(bytes, start, i - start, endLength));
    i += endLength;
    start = i;
  }
  if (start < to) out->push_back(ParseLine(bytes, start, to - start, 0));
}

size_t ReadProfileLine(const char* bytes, size_t size, size_t offset,
                       ProfileLine* line) {
  size_t end = offset;
  while (end < size && bytes[end] != '\n' && bytes[end] != '\r') ++end;
  unsigned char endLength = 0;
  if (end < size) endLength = bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n' ? 2 : 1;
  Line parsed = ParseLine(bytes, offset, end - offset, endLength);
  static const ProfileLineKind kKinds[] = {kProfileBlank, kProfileHeader, kProfileEntry,
                                           kProfileComment, kProfileOther};
  *line = ProfileLine{offset, parsed.length, offset + parsed.nameOffset, parsed.nameLength,
                      offset + parsed.valueOffset, parsed.valueLength, endLength,
                      kKinds[static_cast<int>(parsed.kind)]};
  return end + endLength;
}

std::string KeepSectionEntries(const std::string& data, const char* section,
                               const std::vector<std::string>& keys) {
  std::vector<Line> lines;
  ParseLines(data, 0, data.size(), &lines);
  std::string kept;
  kept.reserve(data.size());
  bool inSection = false;
  for (const Line& line : lines) {
    const char* name = data.data() + line.offset + line.nameOffset;
    if (line.kind == LineKind::kHeader) inSection = EqualNoCase(name, line.nameLength, section, strlen(section));
    bool keep = !inSection || line.kind != LineKind::kEntry ||
                std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
                  return key.size() == line.nameLength && memcmp(key.data(), name, key.size()) == 0;
                });
    if (keep) kept.append(data, line.offset, line.End() - line.offset);
  }
  return kept;
}

namespace {

struct Profile {
  std::string path;
  bool loaded = false;   // false: must be read before use
  bool exists = false;
  FileIdentity identity;
  std::string data;
  std::vector<Line> lines;
  std::vector<size_t> headers;  // indices of section header lines, ascending
};

ProfileWriteObserver gWriteObserver = nullptr;
unsigned gFileFailures = 0;

void RebuildHeaders(Profile* p) {
  p->headers.clear();
  for (size_t i = 0; i < p->lines.size(); ++i) {
    if (p->lines[i].kind == LineKind::kHeader) p->headers.push_back(i);
  }
}

void ParseAll(Profile* p) {
  p->lines.clear();
  ParseLines(p->data, 0, p->data.size(), &p->lines);
  RebuildHeaders(p);
  // Room for a heavy run's new entries: growing by doubling would hold the
  // old and the new copy at once.
  p->data.reserve(p->data.size() + p->data.size() / 4);
  p->lines.reserve(p->lines.size() + p->lines.size() / 4);
}

// Replaces data[at, at + removed) with `inserted`. The change must lie within
// lines [first, last); those lines are parsed again, the ones after shifted.
void Splice(Profile* p, size_t first, size_t last, size_t at, size_t removed,
            const std::string& inserted) {
  std::vector<Line>& lines = p->lines;
  size_t regionStart = first < lines.size() ? lines[first].offset : p->data.size();
  size_t regionEnd = last > first ? lines[last - 1].End() : regionStart;
  p->data.replace(at, removed, inserted);
  size_t newEnd = regionEnd - removed + inserted.size();
  // A region that now ends in a lone CR followed by LF must take that line in.
  while (newEnd > regionStart && newEnd < p->data.size() &&
         p->data[newEnd - 1] == '\r' && p->data[newEnd] == '\n' &&
         last < lines.size()) {
    newEnd += lines[last].length + lines[last].endLength;
    ++last;
  }
  std::vector<Line> fresh;
  ParseLines(p->data, regionStart, newEnd, &fresh);
  bool headersTouched = false;
  for (size_t i = first; i < last && !headersTouched; ++i) {
    headersTouched = lines[i].kind == LineKind::kHeader;
  }
  for (const Line& line : fresh) {
    headersTouched = headersTouched || line.kind == LineKind::kHeader;
  }
  size_t oldCount = last - first;
  ptrdiff_t byteShift = static_cast<ptrdiff_t>(inserted.size()) -
                        static_cast<ptrdiff_t>(removed);
  if (fresh.size() == oldCount) {
    std::copy(fresh.begin(), fresh.end(), lines.begin() + static_cast<ptrdiff_t>(first));
  } else {
    lines.erase(lines.begin() + static_cast<ptrdiff_t>(first),
                lines.begin() + static_cast<ptrdiff_t>(last));
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(first), fresh.begin(), fresh.end());
  }
  if (byteShift != 0) {
    for (size_t i = first + fresh.size(); i < lines.size(); ++i) {
      lines[i].offset = static_cast<size_t>(static_cast<ptrdiff_t>(lines[i].offset) + byteShift);
    }
  }
  if (headersTouched) {
    RebuildHeaders(p);
  } else if (fresh.size() != oldCount) {
    for (size_t& header : p->headers) {
      if (header >= last) header = header + fresh.size() - oldCount;
    }
  }
}

std::vector<Profile>& Cache() {
  static std::vector<Profile> cache;
  return cache;
}

Profile* FindCached(const std::string& path) {
  for (Profile& p : Cache()) {
    if (p.path == path) return &p;
  }
  Cache().emplace_back();
  Cache().back().path = path;
  return &Cache().back();
}

// Brings the cached copy up to date with the file. False when the file
// exists but cannot be read.
bool Refresh(Profile* p) {
  FileIdentity identity;
  FileState state = StatFile(p->path, &identity);
  if (state == FileState::kMissing) {
    p->loaded = true;
    p->exists = false;
    p->data.clear();
    p->lines.clear();
    p->headers.clear();
    return true;
  }
  if (state == FileState::kUnreadable) {
    p->loaded = false;
    return false;
  }
  if (p->loaded && p->exists && identity == p->identity) return true;
  std::string fresh;
  state = ReadWholeFile(p->path, &fresh, &identity);
  if (state != FileState::kPresent) {
    p->loaded = false;
    return state == FileState::kMissing ? Refresh(p) : false;
  }
  bool appended = p->loaded && p->exists && fresh.size() >= p->data.size() &&
                  memcmp(fresh.data(), p->data.data(), p->data.size()) == 0;
  if (appended) {
    // Usually the end-of-file marker that the tool itself appends.
    size_t last = p->lines.size();
    size_t first = last > 0 ? last - 1 : 0;
    Splice(p, first, last, p->data.size(), 0, fresh.substr(p->data.size()));
  } else {
    p->data.swap(fresh);
    ParseAll(p);
  }
  p->identity = identity;
  p->loaded = true;
  p->exists = true;
  return true;
}

// Null when the file cannot be read or no file is named: reads then give
// what a missing file gives.
Profile* LoadProfile(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  // Keyed by the name found, not the one given: once a file appears under
  // the exact name, a copy of its namesake in another case is not used.
  Profile* p = FindCached(MapFileName(fileName));
  if (Refresh(p)) return p;
  CountFileFailure();
  return nullptr;
}

bool SectionNameIs(const Profile& p, size_t headerLine, const char* name,
                   size_t nameLength) {
  const Line& line = p.lines[headerLine];
  return EqualNoCase(p.data.data() + line.offset + line.nameOffset,
                     line.nameLength, name, nameLength);
}

size_t SectionEnd(const Profile& p, size_t headerIndex) {
  return headerIndex + 1 < p.headers.size() ? p.headers[headerIndex + 1]
                                            : p.lines.size();
}

bool KeyIs(const Profile& p, const Line& line, const char* key, size_t keyLength) {
  return line.kind == LineKind::kEntry &&
         EqualNoCase(p.data.data() + line.offset + line.nameOffset,
                     line.nameLength, key, keyLength);
}

const size_t kNone = static_cast<size_t>(-1);

// Index of the line holding the first occurrence of `key` in `section`.
size_t FindKey(const Profile& p, const char* section, const char* key) {
  size_t sectionLength = strlen(section);
  size_t keyLength = strlen(key);
  for (size_t h = 0; h < p.headers.size(); ++h) {
    if (!SectionNameIs(p, p.headers[h], section, sectionLength)) continue;
    for (size_t i = p.headers[h] + 1, end = SectionEnd(p, h); i < end; ++i) {
      if (KeyIs(p, p.lines[i], key, keyLength)) return i;
    }
  }
  return kNone;
}

std::string LineEnd(const Profile& p) {
  for (const Line& line : p.lines) {
    if (line.endLength == 2) return "\r\n";
    if (line.endLength == 1) return std::string(1, p.data[line.offset + line.length]);
  }
  return "\r\n";
}

// Drops the 0x1A run that ends the file: from the first 0x1A byte of the
// trailing run of white space and line ends to the end of the file. What
// lies before that byte (blank lines, line ends, spaces) stays as it is.
void DropEndMarkers(Profile* p) {
  const std::string& data = p->data;
  size_t tail = data.size();
  while (tail > 0 && (IsBlank(data[tail - 1]) || data[tail - 1] == '\r' ||
                      data[tail - 1] == '\n')) {
    --tail;
  }
  const void* marker = memchr(data.data() + tail, '\x1a', data.size() - tail);
  if (marker == nullptr) return;
  size_t at = static_cast<size_t>(static_cast<const char*>(marker) - data.data());
  size_t first = p->lines.size();  // the line that holds the marker
  while (p->lines[first - 1].offset > at) --first;
  Splice(p, first - 1, p->lines.size(), at, data.size() - at, "");
}

// Applies the write to the cached copy. False when nothing would change.
bool ApplyWrite(Profile* p, const char* section, const char* key,
                const char* value) {
  size_t sizeBefore = p->data.size();
  DropEndMarkers(p);
  bool changed = p->data.size() != sizeBefore;
  size_t valueLength = strlen(value);
  size_t found = FindKey(*p, section, key);
  if (found != kNone) {
    const Line& line = p->lines[found];
    const char* old = p->data.data() + line.offset + line.valueOffset;
    if (line.valueLength == valueLength && memcmp(old, value, valueLength) == 0) {
      return changed;
    }
    size_t at = line.offset + (line.valueLength ? line.valueOffset : line.length);
    Splice(p, found, found + 1, at, line.valueLength, std::string(value, valueLength));
    return true;
  }
  std::string eol = LineEnd(*p);
  std::string entry = std::string(key) + " = " + value + eol;
  size_t sectionLength = strlen(section);
  for (size_t h = 0; h < p->headers.size(); ++h) {
    if (!SectionNameIs(*p, p->headers[h], section, sectionLength)) continue;
    size_t after = p->headers[h];
    for (size_t i = after + 1, end = SectionEnd(*p, h); i < end; ++i) {
      if (p->lines[i].kind == LineKind::kEntry) after = i;
    }
    const Line& anchor = p->lines[after];
    if (anchor.endLength == 0) entry = eol + entry;
    Splice(p, after, after + 1, anchor.End(), 0, entry);
    return true;
  }
  std::string text;
  if (!p->lines.empty()) {
    const Line& last = p->lines.back();
    if (last.endLength == 0) text += eol;
    if (last.endLength == 0 || last.kind != LineKind::kBlank) text += eol;
  }
  text += "[" + std::string(section) + "]" + eol + entry;
  size_t count = p->lines.size();
  Splice(p, count > 0 ? count - 1 : 0, count, p->data.size(), 0, text);
  return true;
}

}  // namespace

unsigned GetPrivateProfileSectionA(const char* section, char* buf,
                                   unsigned capacity, const char* fileName) {
  if (capacity == 0) return 0;
  size_t written = 0;
  Profile* p = LoadProfile(fileName);
  if (p != nullptr && section != nullptr) {
    size_t sectionLength = strlen(section);
    bool full = false;
    for (size_t h = 0; h < p->headers.size() && !full; ++h) {
      if (!SectionNameIs(*p, p->headers[h], section, sectionLength)) continue;
      for (size_t i = p->headers[h] + 1, end = SectionEnd(*p, h); i < end; ++i) {
        const Line& line = p->lines[i];
        if (line.kind != LineKind::kEntry) continue;
        // key '=' value '\0', and the closing '\0' must still fit.
        size_t need = line.nameLength + 1 + line.valueLength + 1;
        if (written + need + 1 > capacity) {
          full = true;
          break;
        }
        const char* base = p->data.data() + line.offset;
        memcpy(buf + written, base + line.nameOffset, line.nameLength);
        written += line.nameLength;
        buf[written++] = '=';
        memcpy(buf + written, base + line.valueOffset, line.valueLength);
        written += line.valueLength;
        buf[written++] = '\0';
      }
    }
  }
  buf[written] = '\0';
  if (written == 0 && capacity >= 2) buf[1] = '\0';
  return static_cast<unsigned>(written);
}

unsigned GetPrivateProfileStringA(const char* section, const char* key,
                                  const char* defaultValue, char* buf,
                                  unsigned capacity, const char* fileName) {
  if (capacity == 0) return 0;
  const char* source = defaultValue != nullptr ? defaultValue : "";
  size_t length = strlen(source);
  Profile* p = LoadProfile(fileName);
  size_t found = p != nullptr && section != nullptr && key != nullptr
                     ? FindKey(*p, section, key)
                     : kNone;
  if (found != kNone) {
    const Line& line = p->lines[found];
    source = p->data.data() + line.offset + line.valueOffset;
    length = line.valueLength;
    if (length >= 2 && source[0] == '"' && source[length - 1] == '"') {
      ++source;
      length -= 2;
    }
  }
  length = std::min(length, static_cast<size_t>(capacity) - 1);
  memcpy(buf, source, length);
  buf[length] = '\0';
  return static_cast<unsigned>(length);
}

ProfileWriteObserver SetProfileWriteObserver(ProfileWriteObserver observer) {
  ProfileWriteObserver before = gWriteObserver;
  gWriteObserver = observer;
  return before;
}

unsigned FileFailures() { return gFileFailures; }
void CountFileFailure() { ++gFileFailures; }

namespace {

int WriteProfileEntry(const char* section, const char* key, const char* value,
                      const char* fileName) {
  if (fileName == nullptr) return 0;
  if (section == nullptr && key == nullptr && value == nullptr) {
    FindCached(MapFileName(fileName))->loaded = false;
    return 1;
  }
  if (section == nullptr || key == nullptr || value == nullptr) return 0;
  Profile* p = LoadProfile(fileName);
  if (p == nullptr) return 0;
  if (!ApplyWrite(p, section, key, value)) return 1;
  FileIdentity identity;
  if (!ReplaceFileContent(p->path, p->data.data(), p->data.size(), &identity)) {
    p->loaded = false;  // the cached copy no longer matches the file
    CountFileFailure();
    return 0;
  }
  p->identity = identity;
  p->exists = true;
  return 1;
}

}  // namespace

int WritePrivateProfileStringA(const char* section, const char* key,
                               const char* value, const char* fileName) {
  int held = WriteProfileEntry(section, key, value, fileName);
  if (held && gWriteObserver != nullptr && section != nullptr) {
    gWriteObserver(section, key, value, fileName);
  }
  return held;
}

}  // namespace o2s
