// Any bytes as a device INF (UTF-16 where they begin FF FE): every reading
// of check/inf_file.h on them, each over a buffer of exactly the text's
// size (AddressSanitizer sees a read past it). The input's first line is
// also an id to look for, so that the models found are the fuzzer's own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "check/inf_file.h"
#include "check/pe_image.h"

namespace {

unsigned gVisited;

void CountName(void* context, const char* name, size_t length) {
  // Touch every byte, as a caller copying the name would.
  for (size_t i = 0; i < length; ++i) gVisited += static_cast<unsigned char>(name[i]);
  ++*static_cast<unsigned*>(context);
}

void CountModel(void* context, const char* install, size_t installLength, const char* id, size_t idLength) {
  CountName(context, install, installLength);
  --*static_cast<unsigned*>(context);
  CountName(context, id, idLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static char text[1 << 17];
  size_t length = o2s::InfText(data, size, text, sizeof text);
  char* exact = static_cast<char*>(malloc(length > 0 ? length : 1));
  if (length > 0) memcpy(exact, text, length);

  // A cut decoding stays within a small buffer.
  char small[7];
  o2s::InfText(data, size, small, sizeof small);

  const char* field;
  size_t fieldLength;
  for (unsigned i = 0; i < 8 && o2s::InfField(exact, length, i, &field, &fieldLength); ++i) {
    if (field < exact || field + fieldLength > exact + length) abort();
  }

  const char* newline = static_cast<const char*>(memchr(exact, '\n', length));
  size_t idLength = newline != nullptr ? static_cast<size_t>(newline - exact) : length;
  const char* ids[] = {exact, "PCI\\VEN_1AF4&DEV_1001", "*PNP0600"};
  const size_t idLengths[] = {idLength, strlen(ids[1]), strlen(ids[2])};
  for (unsigned i = 0; i < 3; ++i) {
    char install[o2s::kInfNameCapacity];
    bool found = o2s::InfFindModel(exact, length, ids[i], idLengths[i], install);
    if (strlen(install) >= o2s::kInfNameCapacity || (!found && install[0] != '\0')) abort();
    if (!found) strcpy(install, "install");
    const unsigned machines[] = {0u, o2s::kMachineX86, o2s::kMachineX64, o2s::kMachineIa64};
    for (unsigned machine : machines) {
      if (i > 0 && machine != o2s::kMachineX86) continue;  // each a pass per file list: keep runs quick
      char section[o2s::kInfNameCapacity];
      o2s::InfInstallSection(exact, length, install, machine, section);
      if (strlen(section) >= o2s::kInfNameCapacity) abort();
      unsigned visited = 0;
      if (o2s::InfCopiedFiles(exact, length, section, CountName, &visited) != visited) abort();
    }
  }
  unsigned visited = 0;
  if (o2s::InfModelIds(exact, length, CountModel, &visited) != visited) abort();
  visited = 0;
  if (o2s::InfAddedServices(exact, length, CountName, &visited) != visited) abort();
  o2s::InfAddsService(exact, length, exact, idLength);
  o2s::InfAddsService(exact, length, "viostor", 7);
  free(exact);
  return 0;
}
