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

// What a 32-bit Windows XP source's txtsetup.sif has beyond that: [SetupData]
// with Architecture and the version, [SourceDisksNames.x86/.amd64/.ia64],
// [SourceDisksFiles.x86] and a handful of entries (ntdetect.com, ntldr ...)
// in [SourceDisksFiles.amd64] and [SourceDisksFiles.ia64], each of those
// two in two parts, as setup sources have them.
struct XpSetupFile {
  size_t lines = 3000;
  bool setupData = true;              // false: no [SetupData] at all
  std::string architecture = "i386";  // "": no Architecture line
  unsigned majorVersion = 5;          // 5.0 Windows 2000, 5.1 XP, 5.2 Server 2003
  unsigned minorVersion = 1;
};
std::string GenerateXpSetupFile(const XpSetupFile& xp = XpSetupFile());

// A txtsetup.oem with `options` options (opt0, opt1, ...), each with its
// driver benchN.sys and `ids` hardware ids: a run writes options x (3 + ids)
// entries.
std::string GenerateDriverFile(int options, int ids);

}  // namespace o2s_test

#endif
