#include "check/text_lines.h"

#include <cstring>

namespace o2s {

void StartLines(TextLines* lines, const char* bytes, size_t size) {
  memset(lines, 0, sizeof *lines);
  lines->bytes = bytes;
  lines->size = size;
}

bool NextLine(TextLines* lines) {
  if (lines->next >= lines->size) return false;
  lines->next = ReadProfileLine(lines->bytes, lines->size, lines->next, &lines->line);
  ++lines->number;
  if (lines->line.kind == kProfileHeader) {
    lines->inSection = true;
    lines->sectionOffset = lines->line.nameOffset;
    lines->sectionLength = lines->line.nameLength;
  }
  return true;
}

bool InSection(const TextLines& lines, const char* name) {
  return lines.inSection && EqualNoCase(lines.bytes + lines.sectionOffset, lines.sectionLength, name);
}

bool EqualNoCase(const char* a, size_t aLength, const char* text) {
  return EqualNoCase(a, aLength, text, strlen(text));
}

void TrimBlanks(const char** text, size_t* length) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\x1a'; };
  while (*length > 0 && blank(**text)) {
    ++*text;
    --*length;
  }
  while (*length > 0 && blank((*text)[*length - 1])) --*length;
}

void CopyText(char* buf, size_t capacity, const char* text, size_t length) {
  if (capacity == 0) return;
  if (length > capacity - 1) length = capacity - 1;
  memcpy(buf, text, length);
  buf[length] = '\0';
}

}  // namespace o2s
