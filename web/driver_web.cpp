// The page's entry point into the run's reading of a driver: the options of
// a txtsetup.oem as the run reads them, for the list of drivers, one record
// per option (Module.onOption).
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "check/setup_names.h"
#include "engine/survey.h"
#include "oem/driver_description.h"
#include "platform/ascii_case.h"
#include "platform/platform.h"
#include "web/layout.h"

// The option's record (laid out as below) goes to the worker, which reads
// it by web/worker/protocol.js.
EM_JS(void, SendOptionRecord, (const uint32_t* numbers), { Module["onOption"](numbers); });

namespace o2s {
namespace {

// An option's record: the option, its idCount ids, the count of its files
// and its files. Texts are addresses of zero-ended bytes (0 for none); a
// refusal says whether the page may bring a file name into the setup folder
// (RefusedName); `service`: the option's, as the engine decides it.
#define O2S_OPTION_FIELDS(X) X(index) X(key) X(description) X(driverFile) X(driverFileRefused) X(service) X(idCount)
// `match`: the id as the engine compares it.
#define O2S_OPTION_ID_FIELDS(X) X(id) X(match) X(service)
#define O2S_OPTION_FILES_FIELDS(X) X(fileCount)
// `directory`: the disk's directory as a path below the driver's folder.
#define O2S_OPTION_FILE_FIELDS(X) X(kind) X(disk) X(name) X(config) X(directory) X(refused)
struct OptionRow {
  O2S_OPTION_FIELDS(O2S_LAYOUT_MEMBER)
};
struct OptionIdRow {
  O2S_OPTION_ID_FIELDS(O2S_LAYOUT_MEMBER)
};
struct OptionFilesRow {
  O2S_OPTION_FILES_FIELDS(O2S_LAYOUT_MEMBER)
};
struct OptionFileRow {
  O2S_OPTION_FILE_FIELDS(O2S_LAYOUT_MEMBER)
};

// Room for an option's texts: the ids as the engine compares them, and each
// disk directory as a path below the driver's folder ("i386/Win2003", ""
// for the folder itself).
char gIdMatches[kIdSectionCapacity];
char gDirectories[kMaxFileLines][kDisksSectionCapacity / 4];
uint32_t gNumbers[(sizeof(OptionRow) + kMaxHardwareIds * sizeof(OptionIdRow) + sizeof(OptionFilesRow) +
                   kMaxFileLines * sizeof(OptionFileRow)) / sizeof(uint32_t)];

// Appends a row to the record at *n (numbers so far).
template <typename Row>
void Put(const Row& row, size_t* n) {
  memcpy(gNumbers + *n, &row, sizeof row);
  *n += sizeof row / sizeof(uint32_t);
}

uint32_t At(const char* text) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)); }

// 0 for a name a driver may bring into the setup folder (or none), 1 for
// one that is not a plain file name, 2 for one of the setup's own files.
uint32_t RefusedName(const char* name) {
  if (name == nullptr) return 0;
  size_t length = strlen(name);
  if (!IsPlainFileName(name, length)) return 1;
  return IsSetupOwnFile(name, length) ? 2 : 0;
}

const char* PathBelow(const char* directory, char* out, size_t capacity) {
  if (directory == nullptr) return nullptr;
  size_t length = 0;
  for (const char* at = directory; *at != '\0' && length + 1 < capacity; ++at) {
    char c = *at == '\\' ? '/' : *at;
    if (c == '/' && (length == 0 || out[length - 1] == '/')) continue;
    out[length++] = c;
  }
  if (length > 0 && out[length - 1] == '/') --length;
  out[length] = '\0';
  return out;
}

void SendOption(const OptionDescription& option) {
  size_t n = 0;
  Put(OptionRow{option.index, At(option.key), At(option.description), At(option.driverFile),
                RefusedName(option.driverFile), At(engine::OptionService(option)), option.idCount},
      &n);
  for (unsigned i = 0; i < option.idCount; ++i) {
    // The ids are views into the option's section buffer: the folded copy
    // keeps their offsets.
    size_t offset = static_cast<size_t>(option.ids[i] - option.idSection);
    size_t length = strlen(option.ids[i]);
    for (size_t b = 0; b <= length; ++b) gIdMatches[offset + b] = LowerAscii(option.ids[i][b]);
    Put(OptionIdRow{At(option.ids[i]), At(gIdMatches + offset), At(option.services[i])}, &n);
  }
  Put(OptionFilesRow{option.fileCount}, &n);
  for (unsigned i = 0; i < option.fileCount; ++i) {
    const DriverFileLine& file = option.files[i];
    Put(OptionFileRow{static_cast<uint32_t>(file.kind), At(file.diskTag), At(file.fileName), At(file.configKey),
                      At(PathBelow(file.diskDirectory, gDirectories[i], sizeof gDirectories[i])),
                      RefusedName(file.fileName)},
        &n);
  }
  SendOptionRecord(gNumbers);
}

}  // namespace
}  // namespace o2s

// The record above, as the page's worker reads it: lines of "table:" and its
// fields in order, or its codes as name=value.
extern "C" EMSCRIPTEN_KEEPALIVE const char* o2s_option_layout() {
  static char layout[512];
  auto kind = [](o2s::DriverFileKind k) { return static_cast<unsigned>(k); };
  snprintf(layout, sizeof layout,
           "option:" O2S_OPTION_FIELDS(O2S_LAYOUT_NAME) "\n"
           "optionId:" O2S_OPTION_ID_FIELDS(O2S_LAYOUT_NAME) "\n"
           "optionFiles:" O2S_OPTION_FILES_FIELDS(O2S_LAYOUT_NAME) "\n"
           "optionFile:" O2S_OPTION_FILE_FIELDS(O2S_LAYOUT_NAME) "\n"
           "fileKind: driver=%u inf=%u catalog=%u dll=%u\n"
           "refused: none=0 notPlain=1 setupOwn=2\n",
           kind(o2s::DriverFileKind::kDriver), kind(o2s::DriverFileKind::kInf), kind(o2s::DriverFileKind::kCatalog),
           kind(o2s::DriverFileKind::kDll));
  return layout;
}

// Reads .\txtsetup.oem of the current folder and sends each option, in
// list order, as a run reads it; the lookups' messages go to the console
// just before the option they are about. Returns the number of options.
extern "C" EMSCRIPTEN_KEEPALIVE unsigned o2s_read_driver() {
  static o2s::DriverDescription driver;
  static o2s::OptionDescription option;
  o2s::ReadDriverDescription(".\\txtsetup.oem", &driver);
  for (unsigned i = 0; i < driver.optionCount; ++i) {
    if (o2s::ReadOptionDescription(".\\txtsetup.oem", driver, i, &option)) o2s::SendOption(option);
  }
  return driver.optionCount;
}
