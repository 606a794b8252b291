// The 22 real driver description files: what the engine delivers from each,
// and a whole run of each against a generated, real-sized setup file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

struct Traits {
  unsigned options = 0;
  unsigned maxIds = 0;
};

// traits.tsv: file, options, max_ids, ... (counted by hand from each file).
std::map<std::string, Traits> ReadTraits() {
  std::map<std::string, Traits> traits;
  std::ifstream in(CorpusDir() + "/traits.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string file, options, maxIds;
    std::getline(fields, file, '\t');
    std::getline(fields, options, '\t');
    std::getline(fields, maxIds, '\t');
    traits[file] = {static_cast<unsigned>(std::stoul(options)), static_cast<unsigned>(std::stoul(maxIds))};
  }
  return traits;
}

std::vector<std::string> SectionEntries(const std::string& path, const std::string& section) {
  static std::vector<char> buf(1 << 20);
  o2s::GetPrivateProfileSectionA(section.c_str(), buf.data(), static_cast<unsigned>(buf.size()), path.c_str());
  std::vector<std::string> entries;
  for (const char* p = buf.data(); *p != '\0'; p += strlen(p) + 1) entries.push_back(p);
  return entries;
}

TEST(Corpus, EveryFileDeliversItsOptionsAndIds) {
  const std::map<std::string, Traits> traits = ReadTraits();
  const std::vector<std::string> files = CorpusFiles();
  ASSERT_EQ(files.size(), 22u);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ASSERT_EQ(traits.count(file), 1u);
    std::string path = CorpusDir() + "/" + file;
    std::vector<std::string> options = SectionEntries(path, "scsi");
    EXPECT_EQ(options.size(), traits.at(file).options);
    size_t maxIds = 0;
    for (const std::string& option : options) {
      std::string key = option.substr(0, option.find('='));
      maxIds = std::max(maxIds, SectionEntries(path, "hardwareids.scsi." + key).size());
    }
    EXPECT_EQ(maxIds, traits.at(file).maxIds);
  }
}

TEST(Corpus, OdditiesOfSingleFiles) {
  struct Probe {
    const char* file;
    const char* section;
    const char* key;
    const char* value;
  } probes[] = {
      // two driver= lines: the first counts
      {"DP_MassStorage__AMD_5x86_AHCI_txtsetup.oem", "files.scsi.oem", "driver", "disk1, amd_sata.sys, amd_sata"},
      // "[Files.SCSI.oem] " header with a trailing space, tab before '='
      {"DP_MassStorage__AMD_5x86_AHCI_txtsetup.oem", "Files.SCSI.oem", "inf", "disk1, amd_sata.inf"},
      // an inline "; comment" stays part of the value
      {"GenAHCI__txtsetup.oem", "hardwareids.scsi.storahci_x86", "id",
       "\"PCI\\CC_010601\", \"storahci\" ; Standard SATA AHCI Controller"},
      // the whole value in quotes loses them
      {"kvm-guest-drivers-windows__viostor_txtsetup.oem", "scsi", "WNET64_SCSI",
       "Red Hat VirtIO SCSI Disk Device Win2003/64-bit"},
      {"kvm-guest-drivers-windows__viostor_txtsetup.oem", "files.scsi.wnet32_scsi", "catalog", "d4, vioscsi.cat"},
      // no spaces around '='
      // ... also when it holds two quoted fields
      {"firadisk__src_txtsetup.oem", "hardwareids.scsi.firadiskx86", "id", "detected\\firadisk\",\"FiraDisk"},
      // the header line carries a comment
      {"DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem", "scsi", "Si3112r_2k",
       "Silicon Image SiI 3x12 SATARaid Controller for Windows 2000"},
      // a file ending in 0x1A
      {"DP_MassStorage__ULi_Allx86_TXTSETUP.OEM", "scsi", "m5281XP",
       "\"ALi SATA RAID Controller (Windows XP/Server 2003)\", m5281"},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(std::string(p.file) + " [" + p.section + "] " + p.key);
    char buf[512];
    o2s::GetPrivateProfileStringA(p.section, p.key, "<none>", buf, sizeof buf, (CorpusDir() + "/" + p.file).c_str());
    EXPECT_STREQ(buf, p.value);
  }
  // A section whose header appears twice gives the ids of both.
  EXPECT_EQ(SectionEntries(CorpusDir() + "/DP_MassStorage__Intel_FORCED_Allx86_8.9.8.1005_TWEAK_TXTSETUP.OEM",
                           "hardwareids.scsi.iaAHCI_10AHCI").size(), 2u);
  // Manuals in '#' lines, some with '=' in them, are not entries.
  for (const std::string& entry :
       SectionEntries(CorpusDir() + "/DP_MassStorage__Adaptec_5x86_320R_TXTSETUP.OEM", "scsi")) {
    EXPECT_EQ(entry.find('#'), std::string::npos) << entry;
  }
}

// What a reader of each file expects from a run: how many options are
// written, which are refused and why, how many service warnings and dots.
struct RunExpectation {
  const char* file;
  unsigned written;
  std::vector<std::string> refused;  // "key:D" no driver, "key:I" no hardware id
  unsigned mismatches;
  unsigned dots;
};

std::vector<std::string> LsiMegaRaidKeys() {
  std::vector<std::string> refused;
  for (const char* key :
       {"MegaRAID490", "MegaRAID1CH", "MegaRAID2CH", "MegaRAID494", "MegaRAID428", "MegaRAID467", "MegaRAID4CH",
        "MegaRAID503", "MegaRAIDZCR", "MegaRAID520", "MegaRAID518", "MegaRAID532", "MegaRAID531", "MegaRAID530",
        "MegaRAID320-1", "MegaRAID320-2", "MegaRAID511", "MegaRAID522", "MegaRAID523", "MegaRAID4523",
        "mraidSATA300-4X", "mraidSATA300-8X", "mraidSATA300-8XLP", "mraidPCIEROMB", "NETRAID1M", "NETRAID2M",
        "Intelu3202X", "Intelu3202EX", "IntelSata6", "IntelSRCZCRX", "IntelSRCS28X", "IntelSROMBU42E",
        "IntelSRCU41L"}) {
    refused.push_back(std::string(key) + ":I");  // ids keyed by option name, not "id"
  }
  return refused;
}

const RunExpectation kRuns[] = {
    {"DP_MassStorage__AEC_FORCED_671x_AllXP_TXTSETUP.OEM", 0, {"AEC671xa:D", "AEC671xx:D"}, 0, 0},
    {"DP_MassStorage__AMD_5x86_AHCI_txtsetup.oem", 1, {}, 0, 0},
    {"DP_MassStorage__Adaptec_5x86_320R_TXTSETUP.OEM", 0, {"ADAPTEC_U320RAID_W2K:I"}, 0, 0},
    {"DP_MassStorage__Adaptec_Allx86_SBS_txtsetup.oem", 2, {}, 0, 8},
    {"DP_MassStorage__Broadcom_NTx86_txtsetup.oem", 1, {}, 7, 0},  // 7 USB ids of usbstor
    {"DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM", 2,
     {"hpt3xxNT:I", "hpt3xx4NT:I", "hpt3xx6NT:I"}, 0, 0},
    {"DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM", 23, {"iaAHCI_8RDHDO:I"}, 0, 0},
    {"DP_MassStorage__Intel_FORCED_Allx86_8.9.8.1005_TWEAK_TXTSETUP.OEM", 23, {}, 0, 0},
    {"DP_MassStorage__LSI_FORCED_5x86_MegaRAID_6.51.32_TXTSETUP.OEM", 0, LsiMegaRaidKeys(), 0, 0},
    {"DP_MassStorage__LSI_FORCED_5x86_MegaSR_15.00.0811.2012_txtsetup.oem", 1, {}, 0, 10},  // 100 of 519 ids
    {"DP_MassStorage__Marvell_Allx86_91_txtsetup.oem", 4, {}, 0, 12},
    // the 2000 option's ids stand under another option's name
    {"DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem", 1, {"Si3112r_2k:I"}, 0, 8},
    {"DP_MassStorage__ULi_Allx86_TXTSETUP.OEM", 6, {"m5281NT:I", "m5228NT:I"}, 0, 0},
    {"DP_MassStorage__nVidia_5x86_RAID_10.3.0.46_txtsetup.oem", 2, {}, 0, 2},
    {"Firadisk__txtset64.oem", 2, {}, 0, 0},
    {"GenAHCI__txtsetup.oem", 2, {}, 0, 0},
    {"SVBus-Modified-for-G4D-UEFI__txtsetup.oem", 2, {}, 0, 0},
    {"UniATA__driver_Dist_TXTSETUP.OEM", 0, {"OEMSCSI:I"}, 0, 0},
    {"firadisk__src_txtsetup.oem", 2, {}, 0, 0},
    {"kvm-guest-drivers-windows__vioscsi_txtsetup.oem", 2, {}, 0, 0},
    {"kvm-guest-drivers-windows__viostor_txtsetup.oem", 4, {}, 0, 0},
    {"kvm-guest-drivers-windows__viostor_txtsetup_2010.oem", 2, {}, 0, 0},
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

TEST(Corpus, EveryFileRunsAgainstARealSizedSetupFile) {
  const std::string original = GenerateSetupFile(22000);
  const std::vector<std::string> originalLines = SplitCrLfLines(original);
  ASSERT_EQ(sizeof kRuns / sizeof kRuns[0], CorpusFiles().size());
  for (const RunExpectation& run : kRuns) {
    SCOPED_TRACE(run.file);
    ScratchDir dir;
    WriteFile(dir / "txtsetup.oem", ReadFile(CorpusDir() + "/" + run.file));
    WriteFile(dir / "txtsetup.sif", original);
    ProcessResult r = RunProcess(ToolPath(), dir.path(), "2\n\n");
    ASSERT_EQ(r.status, 0);
    std::string console = r.out;
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());
    EXPECT_EQ(ConsoleText(console), r.out);  // on Windows, every line feed went out as CR LF
    const std::string out = Cp932ToUtf8(console);

    EXPECT_EQ(Count(out, "\n書き込み中\n"), run.written);
    EXPECT_EQ(Count(out, "不一致:"), run.mismatches);
    EXPECT_EQ(Count(out, "のドライバーがないので処理をしません。\n") +
                  Count(out, "のHardwareIDに異常があるので処理をしません。\n"),
              run.refused.size());
    for (const std::string& refusal : run.refused) {
      std::string key = refusal.substr(0, refusal.size() - 2);
      std::string message = refusal.back() == 'D' ? "ERROR! " + key + "のドライバーがないので処理をしません。\n"
                                                  : "ERROR! " + key + "のHardwareIDに異常があるので処理をしません。\n";
      EXPECT_NE(out.find(message), std::string::npos) << message;
    }
    size_t dots = 0;
    for (size_t at = out.find("書き込み中\n"); at != std::string::npos; at = out.find("書き込み中\n", at + 1)) {
      size_t from = at + strlen("書き込み中\n");
      while (from < out.size() && out[from] == '.') ++dots, ++from;
    }
    EXPECT_EQ(dots, run.dots);
    EXPECT_EQ(out.substr(out.size() - strlen("Enterを押すと終了します。")), "Enterを押すと終了します。");

    const std::string after = ReadFile(dir / "txtsetup.sif");
    EXPECT_EQ(ReadFile(dir / "txtsetup.sif.orig"), original);
    // Every original line is kept, in order; the other lines are new entries.
    std::vector<std::string> lines = SplitCrLfLines(after);
    std::map<std::string, std::vector<std::string>> added;  // section -> new values
    std::string section;
    size_t next = 0;
    for (const std::string& line : lines) {
      if (!line.empty() && line[0] == '[') section = line.substr(1, line.size() - 2);
      if (next < originalLines.size() && line == originalLines[next]) {
        ++next;
      } else {
        ASSERT_NE(line.find(" = "), std::string::npos) << line;
        added[section].push_back(line.substr(line.find(" = ") + 3));
      }
    }
    EXPECT_EQ(next, originalLines.size());
    // Setup stops at the first 0x1A: there is exactly one, the last byte.
    EXPECT_EQ(Count(after, "\x1a"), 1u);
    EXPECT_EQ(after.back(), '\x1a');
    // New entries land in their four sections only, with the right values.
    if (run.written == 0) {
      EXPECT_TRUE(added.empty());
    }
    for (const auto& entry : added) {
      EXPECT_TRUE(entry.first == "SCSI" || entry.first == "SCSI.Load" || entry.first == "SourceDisksFiles" ||
                  entry.first == "HardwareIdsDatabase")
          << entry.first;
    }
    for (const std::string& value : added["SourceDisksFiles"]) EXPECT_EQ(value, "1,,,,,,4_,4,1,,,1,4");
    for (const std::string& value : added["SCSI.Load"]) EXPECT_EQ(value.substr(value.size() - 2), ",4");
    for (const std::string& value : added["SCSI"]) {
      std::string description = Cp932ToUtf8(value.substr(1, value.size() - 2));
      EXPECT_NE(out.find("\n" + description + "\n書き込み中\n"), std::string::npos) << description;
    }
  }
}

}  // namespace
}  // namespace o2s_test
