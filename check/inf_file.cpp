#include "check/inf_file.h"

#include <cstring>

#include "check/pe_image.h"
#include "check/text_lines.h"

namespace o2s {
namespace {

// A whole line's text: a file list's line has no key, and an '=' in its
// comment must not make it one.
void LineText(const TextLines& lines, const char** text, size_t* length) {
  *text = lines.bytes + lines.line.offset;
  *length = lines.line.length;
}

void ValueText(const TextLines& lines, const char** text, size_t* length) {
  *text = lines.bytes + lines.line.valueOffset;
  *length = lines.line.valueLength;
}

bool KeyIs(const TextLines& lines, const char* key) {
  return lines.line.kind == kProfileEntry &&
         EqualNoCase(lines.bytes + lines.line.nameOffset, lines.line.nameLength, key);
}

bool InSectionNamed(const TextLines& lines, const char* name, size_t length) {
  return lines.inSection && EqualNoCase(lines.bytes + lines.sectionOffset, lines.sectionLength, name, length);
}

// In section `base` or in one of its decorations (base.NTx86).
bool InDecoratedSection(const TextLines& lines, const char* base, size_t length) {
  if (!lines.inSection || length == 0) return false;
  const char* name = lines.bytes + lines.sectionOffset;
  size_t nameLength = lines.sectionLength;
  if (nameLength == length) return EqualNoCase(name, nameLength, base, length);
  return nameLength > length + 1 && name[length] == '.' && EqualNoCase(name, length, base, length);
}

// A section name's length, cut as kInfNameCapacity cuts it.
size_t BoundedLength(const char* name) {
  size_t length = 0;
  while (length < kInfNameCapacity - 1 && name[length] != '\0') ++length;
  return length;
}

bool HasSection(const char* inf, size_t size, const char* name) {
  TextLines lines;
  StartLines(&lines, inf, size);
  size_t length = strlen(name);
  while (NextLine(&lines)) {
    if (lines.line.kind == kProfileHeader && InSectionNamed(lines, name, length)) return true;
  }
  return false;
}

// Whether the model line lists `id` among its ids (fields 1 on).
bool ModelLists(const TextLines& lines, const char* id, size_t idLength, char* install) {
  const char* value;
  size_t valueLength;
  ValueText(lines, &value, &valueLength);
  const char* field;
  size_t fieldLength;
  for (unsigned i = 1; InfField(value, valueLength, i, &field, &fieldLength); ++i) {
    if (!EqualNoCase(field, fieldLength, id, idLength)) continue;
    InfField(value, valueLength, 0, &field, &fieldLength);
    CopyText(install, kInfNameCapacity, field, fieldLength);
    return true;
  }
  return false;
}

bool ModelsSectionLists(const char* inf, size_t size, const char* models, size_t modelsLength, const char* id,
                        size_t idLength, char* install) {
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (lines.line.kind == kProfileEntry && InDecoratedSection(lines, models, modelsLength) &&
        ModelLists(lines, id, idLength, install)) {
      return true;
    }
  }
  return false;
}

// Each file of file list section name[0, length).
unsigned VisitFileList(const char* inf, size_t size, const char* name, size_t length, InfFileVisitor visit,
                       void* context) {
  unsigned visited = 0;
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    ProfileLineKind kind = lines.line.kind;
    if ((kind != kProfileOther && kind != kProfileEntry) || !InSectionNamed(lines, name, length)) continue;
    const char* text;
    size_t textLength;
    LineText(lines, &text, &textLength);
    const char* file;
    size_t fileLength = 0;
    if (!InfField(text, textLength, 1, &file, &fileLength) || fileLength == 0) {
      InfField(text, textLength, 0, &file, &fileLength);
    }
    if (fileLength == 0) continue;
    visit(context, file, fileLength);
    ++visited;
  }
  return visited;
}

unsigned VisitCopyFiles(const char* inf, size_t size, const char* section, InfFileVisitor visit, void* context) {
  unsigned visited = 0;
  size_t sectionLength = strlen(section);
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (!KeyIs(lines, "CopyFiles") || !InSectionNamed(lines, section, sectionLength)) continue;
    const char* value;
    size_t valueLength;
    ValueText(lines, &value, &valueLength);
    const char* field;
    size_t fieldLength;
    for (unsigned i = 0; InfField(value, valueLength, i, &field, &fieldLength); ++i) {
      if (fieldLength == 0) continue;
      if (field[0] == '@') {
        const char* name = field + 1;
        size_t nameLength = fieldLength - 1;
        TrimBlanks(&name, &nameLength);
        if (nameLength == 0) continue;
        visit(context, name, nameLength);
        ++visited;
      } else {
        visited += VisitFileList(inf, size, field, fieldLength, visit, context);
      }
    }
  }
  return visited;
}

}  // namespace

size_t InfText(const unsigned char* raw, size_t size, char* out, size_t capacity) {
  size_t written = 0;
  if (size >= 2 && raw[0] == 0xFF && raw[1] == 0xFE) {
    for (size_t i = 2; i + 1 < size && written < capacity; i += 2) {
      unsigned unit = raw[i] | (static_cast<unsigned>(raw[i + 1]) << 8);
      out[written++] = unit <= 0xFF ? static_cast<char>(unit) : '?';
    }
    return written;
  }
  size_t from = size >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF ? 3 : 0;
  written = size - from < capacity ? size - from : capacity;
  if (written > 0) memcpy(out, raw + from, written);
  return written;
}

bool InfField(const char* text, size_t length, unsigned index, const char** field, size_t* fieldLength) {
  size_t i = 0;
  for (unsigned current = 0;; ++current) {
    size_t start = i;
    bool quoted = false;
    while (i < length) {
      char c = text[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ',' || c == ';')) {
        break;
      }
      ++i;
    }
    if (current == index) {
      const char* f = text + start;
      size_t n = i - start;
      TrimBlanks(&f, &n);
      if (n >= 2 && f[0] == '"' && f[n - 1] == '"') {
        ++f;
        n -= 2;
        TrimBlanks(&f, &n);
      }
      *field = f;
      *fieldLength = n;
      return true;
    }
    if (i >= length || text[i] == ';') return false;
    ++i;  // past the comma
  }
}

bool InfFindModel(const char* inf, size_t size, const char* id, size_t idLength, char* install) {
  install[0] = '\0';
  if (idLength == 0) return false;
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    ProfileLineKind kind = lines.line.kind;
    if ((kind != kProfileEntry && kind != kProfileOther) || !InSectionNamed(lines, "Manufacturer", 12)) continue;
    // "%Mfg% = Models, NTx86" or, without a key, "Models".
    const char* text;
    size_t textLength;
    if (kind == kProfileEntry) {
      ValueText(lines, &text, &textLength);
    } else {
      LineText(lines, &text, &textLength);
    }
    const char* models;
    size_t modelsLength;
    if (!InfField(text, textLength, 0, &models, &modelsLength) || modelsLength == 0) continue;
    if (ModelsSectionLists(inf, size, models, modelsLength, id, idLength, install)) return true;
  }
  return false;
}

bool InfAddsService(const char* inf, size_t size, const char* service, size_t length) {
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (!KeyIs(lines, "AddService")) continue;
    const char* value;
    size_t valueLength;
    ValueText(lines, &value, &valueLength);
    const char* field;
    size_t fieldLength;
    if (InfField(value, valueLength, 0, &field, &fieldLength) && EqualNoCase(field, fieldLength, service, length)) {
      return true;
    }
  }
  return false;
}

void InfInstallSection(const char* inf, size_t size, const char* base, unsigned machine, char* out) {
  const char* arch = machine == kMachineX86 ? ".NTx86" : machine == kMachineX64 ? ".NTamd64"
                     : machine == kMachineIa64 ? ".NTia64" : nullptr;
  char name[kInfNameCapacity + 16];
  size_t baseLength = BoundedLength(base);
  if (arch != nullptr) {
    memcpy(name, base, baseLength);
    CopyText(name + baseLength, sizeof name - baseLength, arch, strlen(arch));
    if (HasSection(inf, size, name)) {
      CopyText(out, kInfNameCapacity, name, strlen(name));
      return;
    }
  }
  memcpy(name, base, baseLength);
  CopyText(name + baseLength, sizeof name - baseLength, ".NT", 3);
  if (HasSection(inf, size, name)) {
    CopyText(out, kInfNameCapacity, name, strlen(name));
    return;
  }
  CopyText(out, kInfNameCapacity, base, baseLength);
}

unsigned InfCopiedFiles(const char* inf, size_t size, const char* install, InfFileVisitor visit, void* context) {
  unsigned visited = VisitCopyFiles(inf, size, install, visit, context);
  char coInstallers[kInfNameCapacity + 16];
  size_t length = BoundedLength(install);
  memcpy(coInstallers, install, length);
  CopyText(coInstallers + length, sizeof coInstallers - length, ".CoInstallers", 13);
  return visited + VisitCopyFiles(inf, size, coInstallers, visit, context);
}

}  // namespace o2s
