#include "check/dosnet.h"

#include <cstring>

#include "check/text_lines.h"

namespace o2s {

const char kDosnetBootSection[] = "FloppyFiles.2";
const char kDosnetFilesSection[] = "Files";

namespace {

const size_t kMaxName = 255;
const size_t kMaxLine = 2 * kMaxName + 16;

bool IsNameByte(unsigned char c) {
  return c >= 0x20 && c != 0x7F && strchr(",;[]=\"", c) == nullptr;
}

// Whether a line of a section names `name`: "d1,NAME" in dosnet.inf, an
// entry NAME = ... elsewhere.
bool LineNames(const TextLines& lines, SectionLineMatch match, const char* name, size_t nameLength) {
  const ProfileLine& line = lines.line;
  if (match == kMatchDosnetFile) return DosnetLineNames(lines.bytes + line.offset, line.length, name, nameLength);
  return line.kind == kProfileEntry && EqualNoCase(lines.bytes + line.nameOffset, line.nameLength, name, nameLength);
}

// Adds `text` (a line without its end) to `section` of out[0, *size),
// unless the section names `name` already, scanning out[0, *stop) only
// (setup reads no further). False when it does not fit.
bool AddLine(char* out, size_t* size, size_t capacity, size_t* stop, const char* section, const char* name,
             SectionLineMatch match, const char* entry, const char* eol, bool* added) {
  *added = false;
  size_t nameLength = strlen(name);
  TextLines lines;
  StartLines(&lines, out, *stop);
  bool inMatch = false, inFirst = false, seen = false;
  size_t anchor = 0;             // where the line goes, in the first occurrence
  bool anchorLineEnded = true;   // the line before it has a line end
  ProfileLine last{};            // the last line read
  bool any = false;
  while (NextLine(&lines)) {
    const ProfileLine& line = lines.line;
    last = line;
    any = true;
    if (line.kind == kProfileHeader) {
      inMatch = InSection(lines, section);
      inFirst = inMatch && !seen;
      seen = seen || inMatch;
    } else if (!inMatch || line.kind == kProfileBlank || line.kind == kProfileComment) {
      continue;
    } else if (LineNames(lines, match, name, nameLength)) {
      return true;
    }
    if (inFirst) {
      anchor = line.offset + line.length + line.endLength;
      anchorLineEnded = line.endLength > 0;
    }
  }
  char text[kMaxName + kMaxLine + 64];  // line ends, a header, the line
  size_t length = 0;
  auto put = [&](const char* part) {
    size_t partLength = strlen(part);
    memcpy(text + length, part, partLength);
    length += partLength;
  };
  if (seen) {
    if (!anchorLineEnded) put(eol);
  } else {
    anchor = *stop;
    if (any && last.endLength == 0) put(eol);
    if (any && (last.endLength == 0 || last.kind != kProfileBlank)) put(eol);
    put("[");
    put(section);
    put("]");
    put(eol);
  }
  put(entry);
  put(eol);
  if (length > capacity || *size > capacity - length) return false;
  memmove(out + anchor + length, out + anchor, *size - anchor);
  memcpy(out + anchor, text, length);
  *size += length;
  *stop += length;
  *added = true;
  return true;
}

}  // namespace

bool DosnetLineNames(const char* text, size_t length, const char* name, size_t nameLength) {
  const char* comma = static_cast<const char*>(memchr(text, ',', length));
  if (comma == nullptr) return false;
  const char* disk = text;
  size_t diskLength = static_cast<size_t>(comma - text);
  const char* file = comma + 1;
  size_t rest = length - diskLength - 1;
  const char* next = static_cast<const char*>(memchr(file, ',', rest));
  size_t fileLength = next != nullptr ? static_cast<size_t>(next - file) : rest;
  TrimBlanks(&disk, &diskLength);
  TrimBlanks(&file, &fileLength);
  return EqualNoCase(disk, diskLength, "d1") && EqualNoCase(file, fileLength, name, nameLength);
}

namespace {

bool GoodText(const char* text, size_t maxLength, bool nameOnly) {
  size_t length = strlen(text);
  if (length == 0 || length > maxLength) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (nameOnly ? !IsNameByte(c) : (c < 0x20 || c == 0x7F)) return false;
  }
  return text[0] != ' ' && text[length - 1] != ' ';
}

// The file's own line end: that of its first line.
const char* LineEndOf(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') return "\n";
    if (text[i] == '\r') return i + 1 < size && text[i + 1] == '\n' ? "\r\n" : "\r";
  }
  return "\r\n";
}

}  // namespace

DosnetEditResult AddLineToSection(const char* text, size_t size, const char* section, const char* name,
                                  SectionLineMatch match, const char* line, char* out, size_t capacity,
                                  size_t* outSize) {
  if (!GoodText(name, kMaxName, true) || !GoodText(line, kMaxLine, false) || !GoodText(section, kMaxName, true)) {
    return kDosnetBadName;
  }
  if (size > capacity) return kDosnetTooBig;
  memcpy(out, text, size);
  const char* marker = static_cast<const char*>(memchr(text, '\x1a', size));
  size_t stop = marker != nullptr ? static_cast<size_t>(marker - text) : size;
  *outSize = size;
  bool added = false;
  if (!AddLine(out, outSize, capacity, &stop, section, name, match, line, LineEndOf(text, size), &added)) {
    return kDosnetTooBig;
  }
  return added ? kDosnetChanged : kDosnetUnchanged;
}

DosnetEditResult AddDriverToDosnet(const char* text, size_t size, const char* name,
                                   char* out, size_t capacity, size_t* outSize) {
  if (!GoodText(name, kMaxName, true)) return kDosnetBadName;
  if (size > capacity) return kDosnetTooBig;
  memcpy(out, text, size);
  const char* eol = LineEndOf(text, size);
  char entry[kMaxName + 4] = "d1,";
  memcpy(entry + 3, name, strlen(name) + 1);
  const char* marker = static_cast<const char*>(memchr(text, '\x1a', size));
  size_t stop = marker != nullptr ? static_cast<size_t>(marker - text) : size;
  *outSize = size;
  bool bootAdded = false, filesAdded = false;
  if (!AddLine(out, outSize, capacity, &stop, kDosnetBootSection, name, kMatchDosnetFile, entry, eol, &bootAdded) ||
      !AddLine(out, outSize, capacity, &stop, kDosnetFilesSection, name, kMatchDosnetFile, entry, eol, &filesAdded)) {
    return kDosnetTooBig;
  }
  return bootAdded || filesAdded ? kDosnetChanged : kDosnetUnchanged;
}

}  // namespace o2s
