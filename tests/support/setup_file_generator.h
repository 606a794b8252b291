// Builds realistic setup information files (txtsetup.sif) for tests and the
// benchmark: CR LF lines, the sections the tool writes among many others,
// five [SourceDisksFiles] sections, localised cp932 text and, as the real
// one ends, four blank lines and a 0x1A byte.
#ifndef OEM2SIF_TESTS_SUPPORT_SETUP_FILE_GENERATOR_H
#define OEM2SIF_TESTS_SUPPORT_SETUP_FILE_GENERATOR_H

#include <cstddef>
#include <string>

namespace o2s_test {

// About `lines` lines (22,000 gives about 1 MB). Deterministic for a given
// count.
std::string GenerateSetupFile(size_t lines);

}  // namespace o2s_test

#endif
