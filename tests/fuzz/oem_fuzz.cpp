// Any txtsetup.oem through the whole run after the menu (rotation, option
// list, lookups, writes): no crash and no out-of-bounds access.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "run/run_tool.h"

namespace {

const char kSetup[] =
    "[SCSI]\r\nold = \"Old\"\r\n\r\n[SCSI.Load]\r\nold = old.sys,4\r\n\r\n[SourceDisksFiles]\r\n"
    "old.sys = 1,,,,,,3_,4,1\r\n\r\n[HardwareIdsDatabase]\r\nPCI\\VEN_OLD = \"old\"\r\n\x1a";

void Put(const char* name, const void* bytes, size_t size) {
  FILE* f = fopen(name, "wb");
  fwrite(bytes, 1, size, f);
  fclose(f);
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/oem2sif-oem-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) abort();
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();  // the run's messages
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unlink("txtsetup.sif.orig");
  Put("txtsetup.sif", kSetup, sizeof kSetup - 1);
  Put("txtsetup.oem", data, size);
  o2s::ProcessDriverOptions(static_cast<unsigned char>(size & 1));
  return 0;
}
