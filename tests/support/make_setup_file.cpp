// Writes a generated setup information file, the benchmarks' driver file,
// or a stand-in for a file of a driver or a setup folder, to standard
// output:
//   make_setup_file LINES > txtsetup.sif
//   make_setup_file --xp [LINES] [--architecture NAME|none] [--version MAJOR.MINOR]
//                   [--no-setup-data] > txtsetup.sif
//     (a 32-bit XP source's, setup_file_generator.h: Architecture = i386,
//     version 5.1, 3000 lines unless told)
//   make_setup_file --oem OPTIONS IDS > txtsetup.oem
//   make_setup_file --driver x86|x64|ia64 [--size BYTES] [IMPORT...] > name.sys
//   make_setup_file --cabinet NAME < name.sys > name.sy_
//   make_setup_file --dosnet [BOOT_FILE...] > dosnet.inf
//   make_setup_file --add-to-dosnet NAME... < dosnet.inf > dosnet.inf.new
//   make_setup_file --inf SERVICE CATALOG ID... > name.inf
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "check/dosnet.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"

namespace {

unsigned MachineNamed(const char* name) {
  if (strcmp(name, "x86") == 0) return 0x014C;
  if (strcmp(name, "x64") == 0) return 0x8664;
  if (strcmp(name, "ia64") == 0) return 0x0200;
  return 0;
}

// --xp's arguments; false for one it does not know.
bool ReadXpOptions(int argc, char** argv, o2s_test::XpSetupFile* xp) {
  for (int i = 2; i < argc; ++i) {
    bool more = i + 1 < argc;
    if (strcmp(argv[i], "--architecture") == 0 && more) {
      ++i;
      xp->architecture = strcmp(argv[i], "none") == 0 ? "" : argv[i];
    } else if (strcmp(argv[i], "--version") == 0 && more) {
      ++i;
      if (sscanf(argv[i], "%u.%u", &xp->majorVersion, &xp->minorVersion) != 2) return false;
    } else if (strcmp(argv[i], "--no-setup-data") == 0) {
      xp->setupData = false;
    } else if (atol(argv[i]) > 0) {
      xp->lines = static_cast<size_t>(atol(argv[i]));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string text;
  o2s_test::XpSetupFile xp;
  if (argc == 2 && atol(argv[1]) > 0) {
    text = o2s_test::GenerateSetupFile(static_cast<size_t>(atol(argv[1])));
  } else if (argc >= 2 && strcmp(argv[1], "--xp") == 0 && ReadXpOptions(argc, argv, &xp)) {
    text = o2s_test::GenerateXpSetupFile(xp);
  } else if (argc == 4 && strcmp(argv[1], "--oem") == 0 && atoi(argv[2]) > 0 && atoi(argv[3]) > 0) {
    text = o2s_test::GenerateDriverFile(atoi(argv[2]), atoi(argv[3]));
  } else if (argc >= 3 && strcmp(argv[1], "--driver") == 0 && MachineNamed(argv[2]) != 0) {
    bool sized = argc >= 5 && strcmp(argv[3], "--size") == 0;
    size_t size = sized ? static_cast<size_t>(atol(argv[4])) : 1024;
    text = o2s_test::MakeDriverImage(MachineNamed(argv[2]), std::vector<std::string>(argv + (sized ? 5 : 3), argv + argc), size);
  } else if (argc == 3 && strcmp(argv[1], "--cabinet") == 0) {
    std::string bytes((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    text = o2s_test::MakeCabinet(argv[2], bytes);
  } else if (argc >= 2 && strcmp(argv[1], "--dosnet") == 0) {
    std::vector<std::string> files(argv + 2, argv + argc);
    text = o2s_test::MakeDosnet(files, files);
  } else if (argc >= 5 && strcmp(argv[1], "--inf") == 0) {
    // A storage INF whose x86 models list the ids, installing SERVICE.sys.
    std::string service = argv[2];
    text = o2s_test::MakeStorageInf(service, std::vector<std::string>(argv + 4, argv + argc), argv[3], {service + ".sys"}, {});
  } else if (argc >= 3 && strcmp(argv[1], "--add-to-dosnet") == 0) {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    for (int i = 2; i < argc; ++i) {
      std::string out(text.size() + 2 * strlen(argv[i]) + 64, '\0');
      size_t size = 0;
      if (o2s::AddDriverToDosnet(text.data(), text.size(), argv[i], &out[0], out.size(), &size) > o2s::kDosnetUnchanged) return 1;
      text = out.substr(0, size);
    }
  } else {
    fprintf(stderr,
            "usage: %s LINES > txtsetup.sif\n"
            "       %s --xp [LINES] [--architecture NAME|none] [--version MAJOR.MINOR] [--no-setup-data] > txtsetup.sif\n"
            "       %s --oem OPTIONS IDS > txtsetup.oem\n"
            "       %s --driver x86|x64|ia64 [--size BYTES] [IMPORT...] > name.sys\n       %s --cabinet NAME < name.sys > name.sy_\n"
            "       %s --dosnet [BOOT_FILE...] > dosnet.inf\n       %s --add-to-dosnet NAME... < dosnet.inf\n"
            "       %s --inf SERVICE CATALOG ID... > name.inf\n",
            argv[0], argv[0], argv[0], argv[0], argv[0], argv[0], argv[0], argv[0]);
    return 2;
  }
  return fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
