// Builds realistic setup information files (txtsetup.sif) for tests and the
// benchmarks: CR LF lines, the sections the tool writes among many others,
// five [SourceDisksFiles] sections, localised cp932 text and, as the real
// one ends, four blank lines and a 0x1A byte. Also the benchmarks' driver
// file (txtsetup.oem).
#ifndef OEM2SIF_TESTS_SUPPORT_SETUP_FILE_GENERATOR_H
#define OEM2SIF_TESTS_SUPPORT_SETUP_FILE_GENERATOR_H

#include <cstddef>
#include <string>

namespace o2s_test {

// About `lines` lines (22,000 gives about 1 MB). Deterministic for a given
// count.
std::string GenerateSetupFile(size_t lines);

// A txtsetup.oem with `options` options (opt0, opt1, ...), each with its
// driver benchN.sys and `ids` hardware ids: a run writes options x (3 + ids)
// entries.
std::string GenerateDriverFile(int options, int ids);

}  // namespace o2s_test

#endif
