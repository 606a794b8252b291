// The page's entry points into the run's reading of a driver: the options of
// a txtsetup.oem as the run reads them, for the list of drivers, and, during
// a run, each option just before the run writes it, so that the page knows
// what each run wrote without reading the file or the tool's output itself.
// Both reach the page as one object per option (Module.onOption).
#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "check/setup_names.h"
#include "engine/survey.h"
#include "oem/driver_description.h"
#include "platform/ascii_case.h"
#include "platform/platform.h"
#include "platform/profile_lines.h"
#include "run/run_tool.h"

// clang-format off
// `numbers`: the option's texts and counts as laid out by SendOption below.
EM_JS(void, SendOptionRecord, (const uint32_t* numbers), {
  const sjis = new TextDecoder("shift_jis");
  const text = (at) => at ? sjis.decode(HEAPU8.subarray(at, HEAPU8.indexOf(0, at))) : null;
  let next = numbers >> 2;
  const take = () => HEAPU32[next++];
  // A file name the page must not bring into the setup folder: not a plain
  // file name, or one of the setup's own files (check/setup_names.h).
  const refused = () => [null, "notPlain", "setupOwn"][take()];
  const option = { index: take(), key: text(take()), description: text(take()), driverFile: text(take()),
                   driverFileRefused: refused(), service: text(take()), ids: [], files: [] };
  for (let i = take(); i > 0; i--) option.ids.push({ id: text(take()), match: text(take()), service: text(take()) });
  for (let i = take(); i > 0; i--) {
    option.files.push({ kind: ["driver", "inf", "catalog", "dll"][take()], disk: text(take()),
                        name: text(take()), config: text(take()), directory: text(take()), refused: refused() });
  }
  Module["onOption"](option);
});
// clang-format on

namespace o2s {
namespace {

// Room for an option's texts: the ids as the engine compares them, and each
// disk directory as a path below the driver's folder ("i386/Win2003", ""
// for the folder itself).
char gIdMatches[kIdSectionCapacity];
char gDirectories[kMaxFileLines][kDisksSectionCapacity / 4];
uint32_t gNumbers[7 + 3 * kMaxHardwareIds + 1 + 6 * kMaxFileLines];

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
  gNumbers[n++] = option.index;
  gNumbers[n++] = At(option.key);
  gNumbers[n++] = At(option.description);
  gNumbers[n++] = At(option.driverFile);
  gNumbers[n++] = RefusedName(option.driverFile);
  gNumbers[n++] = At(engine::OptionService(option));
  gNumbers[n++] = option.idCount;
  for (unsigned i = 0; i < option.idCount; ++i) {
    // The ids are views into the option's section buffer: the folded copy
    // keeps their offsets.
    size_t offset = static_cast<size_t>(option.ids[i] - option.idSection);
    size_t length = strlen(option.ids[i]);
    for (size_t b = 0; b <= length; ++b) gIdMatches[offset + b] = LowerAscii(option.ids[i][b]);
    gNumbers[n++] = At(option.ids[i]);
    gNumbers[n++] = At(gIdMatches + offset);
    gNumbers[n++] = At(option.services[i]);
  }
  gNumbers[n++] = option.fileCount;
  for (unsigned i = 0; i < option.fileCount; ++i) {
    const DriverFileLine& file = option.files[i];
    gNumbers[n++] = static_cast<uint32_t>(file.kind);
    gNumbers[n++] = At(file.diskTag);
    gNumbers[n++] = At(file.fileName);
    gNumbers[n++] = At(file.configKey);
    gNumbers[n++] = At(PathBelow(file.diskDirectory, gDirectories[i], sizeof gDirectories[i]));
    gNumbers[n++] = RefusedName(file.fileName);
  }
  SendOptionRecord(gNumbers);
}

// During a run, each option before it is written.
const bool gObserving = (SetOptionObserver(SendOption), true);

}  // namespace
}  // namespace o2s

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

// Leaves in the "scsi" section of .\txtsetup.oem (the current folder's)
// only the options at `indices` of its list (`count` of them), every other
// byte the same, so that a run takes exactly the options the user ticked.
// Returns false when the file cannot be read or written.
extern "C" EMSCRIPTEN_KEEPALIVE bool o2s_keep_options(const uint32_t* indices, uint32_t count) {
  static o2s::DriverDescription driver;
  o2s::ReadDriverDescription(".\\txtsetup.oem", &driver);
  std::vector<std::string> keys;
  for (uint32_t i = 0; i < count; ++i) {
    if (indices[i] < driver.optionCount) keys.emplace_back(driver.optionKeys[indices[i]]);
  }
  std::ifstream in("txtsetup.oem", std::ios::binary);
  if (!in.is_open()) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out("txtsetup.oem", std::ios::binary | std::ios::trunc);
  out << o2s::KeepSectionEntries(bytes, "scsi", keys);
  out.close();
  // The engine keeps what it read: the run must read the new bytes.
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, ".\\txtsetup.oem");
  return static_cast<bool>(out);
}
