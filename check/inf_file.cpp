#include "check/inf_file.h"

#include <cstring>

#include "check/pe_image.h"
#include "check/text_lines.h"

namespace o2s {
namespace {

// Fields one after another: one pass over a value, however many it has.
struct FieldCursor {
  const char* text;
  size_t length;
  size_t at;   // where the next field starts
  bool ended;  // no field is left
};

bool NextField(FieldCursor* cursor, const char** field, size_t* fieldLength) {
  if (cursor->ended) return false;
  const char* text = cursor->text;
  size_t i = cursor->at;
  size_t start = i;
  bool quoted = false;
  while (i < cursor->length) {
    char c = text[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ',' || c == ';')) {
      break;
    }
    ++i;
  }
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
  cursor->ended = i >= cursor->length || text[i] == ';';
  cursor->at = i + 1;  // past the comma
  return true;
}

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

// A model line, "Name = install-section, id, id...": the install section,
// then its ids one by one.
struct ModelLine {
  FieldCursor cursor;
  const char* install;
  size_t installLength;
};

void StartModelLine(const TextLines& lines, ModelLine* model) {
  const char* value;
  size_t valueLength;
  ValueText(lines, &value, &valueLength);
  model->cursor = FieldCursor{value, valueLength, 0, false};
  model->install = value;
  model->installLength = 0;
  NextField(&model->cursor, &model->install, &model->installLength);
}

// The next non-empty id of the line; false after the last.
bool NextModelId(ModelLine* model, const char** id, size_t* idLength) {
  while (NextField(&model->cursor, id, idLength)) {
    if (*idLength > 0) return true;
  }
  return false;
}

// Whether the model line lists `id`, or a form of it a device also reports.
bool ModelLists(const TextLines& lines, const char* id, size_t idLength, char* install) {
  ModelLine model;
  StartModelLine(lines, &model);
  size_t forms[8];
  unsigned formCount = InfIdForms(id, idLength, forms, 8);
  const char* field;
  size_t fieldLength;
  while (NextModelId(&model, &field, &fieldLength)) {
    for (unsigned i = 0; i < formCount; ++i) {
      if (!EqualNoCase(field, fieldLength, id, forms[i])) continue;
      CopyText(install, kInfNameCapacity, model.install, model.installLength);
      return true;
    }
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

unsigned VisitCopyFiles(const char* inf, size_t size, const char* section, InfFileVisitor visit, void* context,
                        unsigned* listsLeft) {
  unsigned visited = 0;
  size_t sectionLength = strlen(section);
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (!KeyIs(lines, "CopyFiles") || !InSectionNamed(lines, section, sectionLength)) continue;
    const char* value;
    size_t valueLength;
    ValueText(lines, &value, &valueLength);
    FieldCursor cursor{value, valueLength, 0, false};
    const char* field;
    size_t fieldLength;
    while (NextField(&cursor, &field, &fieldLength)) {
      if (fieldLength == 0) continue;
      if (field[0] == '@') {
        const char* name = field + 1;
        size_t nameLength = fieldLength - 1;
        TrimBlanks(&name, &nameLength);
        if (nameLength == 0) continue;
        visit(context, name, nameLength);
        ++visited;
      } else if (*listsLeft > 0) {
        --*listsLeft;  // each list is a pass over the INF: bounded, whatever the INF holds
        visited += VisitFileList(inf, size, field, fieldLength, visit, context);
      }
    }
  }
  return visited;
}

// The models section a [Manufacturer] line names: "%Mfg% = Models, NTx86"
// or, without a key, "Models". False for any other line.
bool ManufacturerModels(const TextLines& lines, const char** name, size_t* length) {
  ProfileLineKind kind = lines.line.kind;
  if ((kind != kProfileEntry && kind != kProfileOther) || !InSectionNamed(lines, "Manufacturer", 12)) return false;
  const char* text;
  size_t textLength;
  if (kind == kProfileEntry) {
    ValueText(lines, &text, &textLength);
  } else {
    LineText(lines, &text, &textLength);
  }
  return InfField(text, textLength, 0, name, length) && *length > 0;
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

unsigned InfIdForms(const char* id, size_t length, size_t* lengths, unsigned capacity) {
  unsigned count = 0;
  if (capacity == 0 || length == 0) return 0;
  lengths[count++] = length;
  const void* first = memchr(id, '&', length);
  if (first == nullptr) return count;
  size_t from = static_cast<size_t>(static_cast<const char*>(first) - id) + 1;
  for (size_t i = length; i-- > from && count < capacity;) {
    if (id[i] == '&') lengths[count++] = i;
  }
  return count;
}

bool InfField(const char* text, size_t length, unsigned index, const char** field, size_t* fieldLength) {
  FieldCursor cursor{text, length, 0, false};
  for (unsigned current = 0;; ++current) {
    if (!NextField(&cursor, field, fieldLength)) return false;
    if (current == index) return true;
  }
}

bool InfFindModel(const char* inf, size_t size, const char* id, size_t idLength, char* install) {
  install[0] = '\0';
  if (idLength == 0) return false;
  unsigned manufacturers = 0;  // each is a pass over the INF: bounded
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines) && manufacturers < kInfMaxManufacturers) {
    const char* models;
    size_t modelsLength;
    if (!ManufacturerModels(lines, &models, &modelsLength)) continue;
    ++manufacturers;
    if (ModelsSectionLists(inf, size, models, modelsLength, id, idLength, install)) return true;
  }
  return false;
}

unsigned InfModelIds(const char* inf, size_t size, InfModelVisitor visit, void* context) {
  char models[kInfMaxManufacturers][kInfNameCapacity];
  unsigned modelsCount = 0;
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines) && modelsCount < kInfMaxManufacturers) {
    const char* name;
    size_t nameLength;
    if (!ManufacturerModels(lines, &name, &nameLength)) continue;
    CopyText(models[modelsCount++], kInfNameCapacity, name, nameLength);
  }
  unsigned visited = 0;
  size_t judgedSection = size + 1;  // the section whose kind `inModels` tells
  bool inModels = false;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (lines.line.kind != kProfileEntry || !lines.inSection) continue;
    if (lines.sectionOffset != judgedSection) {
      judgedSection = lines.sectionOffset;
      inModels = false;
      for (unsigned m = 0; m < modelsCount && !inModels; ++m) {
        inModels = InDecoratedSection(lines, models[m], strlen(models[m]));
      }
    }
    if (!inModels) continue;
    ModelLine model;
    StartModelLine(lines, &model);
    const char* id;
    size_t idLength;
    while (NextModelId(&model, &id, &idLength)) {
      visit(context, model.install, model.installLength, id, idLength);
      ++visited;
    }
  }
  return visited;
}

unsigned InfAddedServices(const char* inf, size_t size, InfNameVisitor visit, void* context) {
  unsigned visited = 0;
  TextLines lines;
  StartLines(&lines, inf, size);
  while (NextLine(&lines)) {
    if (!KeyIs(lines, "AddService")) continue;
    const char* value;
    size_t valueLength;
    ValueText(lines, &value, &valueLength);
    const char* field;
    size_t fieldLength;
    if (!InfField(value, valueLength, 0, &field, &fieldLength) || fieldLength == 0) continue;
    visit(context, field, fieldLength);
    ++visited;
  }
  return visited;
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
  unsigned listsLeft = kInfMaxFileLists;
  unsigned visited = VisitCopyFiles(inf, size, install, visit, context, &listsLeft);
  char coInstallers[kInfNameCapacity + 16];
  size_t length = BoundedLength(install);
  memcpy(coInstallers, install, length);
  CopyText(coInstallers + length, sizeof coInstallers - length, ".CoInstallers", 13);
  return visited + VisitCopyFiles(inf, size, coInstallers, visit, context, &listsLeft);
}

}  // namespace o2s
