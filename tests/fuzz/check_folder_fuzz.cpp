// Any txtsetup.sif text and driver bytes in a setup folder that also holds
// hostile entries, as the first byte picks them: FIFOs for the backup,
// dosnet.inf or the driver, a driver or import that is a link leading out
// of the folder, a [SCSI.Load] value with "..", the INF a FIFO (else the
// driver's bytes are its INF too). The check must neither
// crash, nor hang (libFuzzer's -timeout catches a FIFO opened), nor read
// outside the buffers.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "check/check.h"

namespace {

std::string gFolder;
o2s::CheckWorkspace gWorkspace;
o2s::Finding gFindings[256];

void Put(const std::string& name, const std::string& bytes) {
  std::string path = gFolder + "/" + name;
  unlink(path.c_str());
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

void Fifo(const std::string& name) {
  std::string path = gFolder + "/" + name;
  unlink(path.c_str());
  if (mkfifo(path.c_str(), 0644) != 0) abort();
}

void LinkOut(const std::string& name) {
  std::string path = gFolder + "/" + name;
  unlink(path.c_str());
  if (symlink("../outside.sys", path.c_str()) != 0) abort();
}

const char kSkeleton[] =
    "[Version]\r\nsignature=\"$Windows NT$\"\r\n[SetupData]\r\nArchitecture = i386\r\n"
    "[SourceDisksNames.x86]\r\n1 = \"cd\",,,\\i386\r\n[SourceDisksFiles]\r\nviostor.sys = 1,,,,,,4_,4,1,,,1,4\r\n"
    "[SCSI.Load]\r\n";

// The fuzzer ends through exit(): the folder goes with it.
void RemoveFolder() {
  for (const char* name : {"txtsetup.sif", "txtsetup.sif.orig", "dosnet.inf", "viostor.sys", "viostor.inf", "hal.dll"}) {
    unlink((gFolder + "/" + name).c_str());
  }
  rmdir(gFolder.c_str());
  std::string base = gFolder.substr(0, gFolder.rfind('/'));
  unlink((base + "/outside.sys").c_str());
  rmdir(base.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gFolder.empty()) {
    char base[] = "/tmp/o2s-check-fuzz-XXXXXX";
    if (mkdtemp(base) == nullptr) abort();
    gFolder = std::string(base) + "/I386";
    mkdir(gFolder.c_str(), 0755);
    FILE* f = fopen((std::string(base) + "/outside.sys").c_str(), "wb");
    if (f == nullptr) abort();
    fputs("MZ outside", f);
    fclose(f);
    atexit(RemoveFolder);
  }
  unsigned picks = size > 0 ? data[0] : 0;
  std::string rest(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  size_t split = rest.find("\n====\n");
  std::string text = rest.substr(0, split);
  std::string driver = split == std::string::npos ? std::string() : rest.substr(split + 6);

  std::string load = (picks & 0x20) ? "viostor = ../../outside.sys,4\r\n" : "viostor = viostor.sys,4\r\n";
  // Its INF, added as an integration adds it: the driver's bytes, or a FIFO.
  Put("txtsetup.sif", kSkeleton + load + "[SCSI]\r\nviostor = \"Adapter\"\r\n[SourceDisksFiles]\r\n"
                      "viostor.inf = 1,,,,,,,20,0,0\r\n[HardwareIdsDatabase]\r\nPCI\\VEN_1AF4&DEV_1001 = \"viostor\"\r\n" +
                      text);
  if (picks & 0x40) {
    Fifo("viostor.inf");
  } else {
    Put("viostor.inf", driver);
  }
  if (picks & 0x01) {
    Fifo("txtsetup.sif.orig");
  } else {
    Put("txtsetup.sif.orig", kSkeleton);
  }
  if (picks & 0x02) {
    Fifo("dosnet.inf");
  } else {
    Put("dosnet.inf", "[FloppyFiles.2]\r\nd1,viostor.sys\r\n[Files]\r\nd1,viostor.sys\r\n\x1a" + text.substr(0, 64));
  }
  if (picks & 0x04) {
    Fifo("viostor.sys");
  } else if (picks & 0x08) {
    LinkOut("viostor.sys");
  } else {
    Put("viostor.sys", driver);
  }
  if (picks & 0x10) {
    LinkOut("hal.dll");
  } else {
    Put("hal.dll", "");
  }
  o2s::CheckResult result;
  o2s::CheckSetupFolder(gFolder.c_str(), &gWorkspace, gFindings, sizeof gFindings / sizeof gFindings[0], &result);
  return 0;
}
