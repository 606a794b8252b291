#include "check/dosnet.h"

#include <cstring>

#include "check/text_lines.h"

namespace o2s {

const char kDosnetBootSection[] = "FloppyFiles.2";
const char kDosnetFilesSection[] = "Files";

namespace {

const size_t kMaxName = 255;

bool IsNameByte(unsigned char c) {
  return c >= 0x20 && c != 0x7F && strchr(",;[]=\"", c) == nullptr;
}

// Adds "d1,NAME" to `section` of out[0, *size), scanning out[0, *stop)
// only (setup reads no further). False when it does not fit.
bool AddLine(char* out, size_t* size, size_t capacity, size_t* stop, const char* section,
             const char* name, const char* eol, bool* added) {
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
    } else if (DosnetLineNames(out + line.offset, line.length, name, nameLength)) {
      return true;
    }
    if (inFirst) {
      anchor = line.offset + line.length + line.endLength;
      anchorLineEnded = line.endLength > 0;
    }
  }
  char text[2 * sizeof "\r\n" + kMaxName + 64];
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
  put("d1,");
  put(name);
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

DosnetEditResult AddDriverToDosnet(const char* text, size_t size, const char* name,
                                   char* out, size_t capacity, size_t* outSize) {
  size_t nameLength = strlen(name);
  if (nameLength == 0 || nameLength > kMaxName) return kDosnetBadName;
  for (size_t i = 0; i < nameLength; ++i) {
    if (!IsNameByte(static_cast<unsigned char>(name[i]))) return kDosnetBadName;
  }
  if (name[0] == ' ' || name[nameLength - 1] == ' ') return kDosnetBadName;
  if (size > capacity) return kDosnetTooBig;
  memcpy(out, text, size);
  // The file's own line end: that of its first line.
  const char* eol = "\r\n";
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') {
      eol = "\n";
      break;
    }
    if (text[i] == '\r') {
      eol = i + 1 < size && text[i + 1] == '\n' ? "\r\n" : "\r";
      break;
    }
  }
  const char* marker = static_cast<const char*>(memchr(text, '\x1a', size));
  size_t stop = marker != nullptr ? static_cast<size_t>(marker - text) : size;
  *outSize = size;
  bool bootAdded = false, filesAdded = false;
  if (!AddLine(out, outSize, capacity, &stop, kDosnetBootSection, name, eol, &bootAdded) ||
      !AddLine(out, outSize, capacity, &stop, kDosnetFilesSection, name, eol, &filesAdded)) {
    return kDosnetTooBig;
  }
  return bootAdded || filesAdded ? kDosnetChanged : kDosnetUnchanged;
}

}  // namespace o2s
