// Writes a generated setup information file to standard output:
//   make_setup_file LINES > txtsetup.sif
#include <cstdio>
#include <cstdlib>

#include "tests/support/setup_file_generator.h"

int main(int argc, char** argv) {
  if (argc != 2 || atol(argv[1]) <= 0) {
    fprintf(stderr, "usage: %s LINES > txtsetup.sif\n", argv[0]);
    return 2;
  }
  std::string text = o2s_test::GenerateSetupFile(static_cast<size_t>(atol(argv[1])));
  return fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
