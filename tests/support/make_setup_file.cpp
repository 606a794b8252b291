// Writes a generated setup information file, or the benchmarks' driver
// file, to standard output:
//   make_setup_file LINES > txtsetup.sif
//   make_setup_file --oem OPTIONS IDS > txtsetup.oem
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/setup_file_generator.h"

int main(int argc, char** argv) {
  std::string text;
  if (argc == 2 && atol(argv[1]) > 0) {
    text = o2s_test::GenerateSetupFile(static_cast<size_t>(atol(argv[1])));
  } else if (argc == 4 && strcmp(argv[1], "--oem") == 0 && atoi(argv[2]) > 0 && atoi(argv[3]) > 0) {
    text = o2s_test::GenerateDriverFile(atoi(argv[2]), atoi(argv[3]));
  } else {
    fprintf(stderr, "usage: %s LINES > txtsetup.sif\n       %s --oem OPTIONS IDS > txtsetup.oem\n", argv[0], argv[0]);
    return 2;
  }
  return fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
