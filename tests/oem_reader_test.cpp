// The OEM description reader at its edges: the tokenizer, the description
// cleaning, the section-entry split, and every message of the lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "oem/oem_reader.h"
#include "oem/driver_description.h"
#include "platform/profile_lines.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

std::vector<std::string> Tokens(std::string text, const char* delimiters) {
  std::vector<std::string> out;
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  for (char* t = o2s::TakeNextToken(buf.data(), delimiters); t != nullptr;
       t = o2s::TakeNextToken(nullptr, delimiters)) {
    out.push_back(t);
  }
  // Once at the end, later calls find nothing either.
  EXPECT_EQ(o2s::TakeNextToken(nullptr, delimiters), nullptr);
  return out;
}

TEST(TakeNextToken, SplitsLikeTheLookupsNeed) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Tokens("d1, viostor.sys, viostor", " ,\""), (V{"d1", "viostor.sys", "viostor"}));
  EXPECT_EQ(Tokens("\"PCI\\VEN_1AF4&DEV_1001\", \"viostor\"", " ,\""),
            (V{"PCI\\VEN_1AF4&DEV_1001", "viostor"}));
  EXPECT_EQ(Tokens("\"a b\",c", " ,\""), (V{"a", "b", "c"}));  // quotes do not group
  EXPECT_EQ(Tokens("a\tb,c", " ,\""), (V{"a\tb", "c"}));        // a tab is no delimiter
  EXPECT_EQ(Tokens(", ,\"\"", " ,\""), V{});
  EXPECT_EQ(Tokens("", " ,\""), V{});
  EXPECT_EQ(Tokens("\x83\x5c,x", ","), (V{"\x83\x5c", "x"}));   // bytes, not characters
}

TEST(TakeNextToken, OverwritesOnlyTheDelimiterAfterTheToken) {
  char text[] = ",,abc,def";
  char* token = o2s::TakeNextToken(text, ",");
  EXPECT_EQ(token, text + 2);
  EXPECT_EQ(std::string(text, 9), std::string(",,abc\0def", 9));
}

TEST(CleanDescription, CutsOutTheDescription) {
  struct Case {
    const char* value;
    const char* description;
  } cases[] = {
      {"\"Red Hat VirtIO\"", "Red Hat VirtIO"},
      {"\"Adaptec RAID\", arc", "Adaptec RAID"},
      {"\"Broadcom (32 bit) \"", "Broadcom (32 bit) "},
      {"\"Cut, here\"", "Cut"},
      {"plain text, tail", "plain text"},
      {"plain\"quote", "plain"},
      {",\"lead\", x", ",\"lead"},
      {"\"\"", "\""},
      {",,", ",,"},
      {"\"\x93\xfa\x96{\"", "\x93\xfa\x96{"},
  };
  for (const Case& c : cases) {
    std::vector<char> buf(c.value, c.value + strlen(c.value) + 1);
    EXPECT_STREQ(o2s::CleanDescription(buf.data()), c.description) << c.value;
  }
}

class OemFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    WriteFile(path_, bytes);
    return path_;
  }
  ScratchDir dir_;
  std::string path_ = dir_ / "txtsetup.oem";
};

TEST_F(OemFile, SectionEntriesDropLinesWithoutKeyOrValue) {
  Write("[s]\r\n=novalue\r\nnokey=\r\nk=a=b\r\nstray\r\nj = w\r\n");
  char buf[4000];
  char* keys[40];
  char* values[40];
  ASSERT_EQ(o2s::ReadSectionEntries(path_.c_str(), "s", buf, sizeof buf, keys, values, 40), 2u);
  EXPECT_STREQ(keys[0], "k");
  EXPECT_STREQ(values[0], "a=b");
  EXPECT_STREQ(keys[1], "j");
  EXPECT_STREQ(values[1], "w");
}

TEST_F(OemFile, SectionEntriesStopAtTheSlotLimit) {
  std::string text = "[scsi]\r\n";
  for (int i = 0; i < 45; ++i) {
    text += "bad" + std::to_string(i) + "=\r\n";  // dropped: uses no slot
    text += "opt" + std::to_string(i) + " = \"Option " + std::to_string(i) + "\"\r\n";
  }
  Write(text);
  char buf[4000];
  char* keys[40];
  char* values[40];
  ASSERT_EQ(o2s::ReadSectionEntries(path_.c_str(), "scsi", buf, sizeof buf, keys, values, 40), 40u);
  EXPECT_STREQ(keys[0], "opt0");
  EXPECT_STREQ(keys[39], "opt39");
  EXPECT_STREQ(values[39], "\"Option 39\"");
}

TEST_F(OemFile, SectionEntriesOfACutSection) {
  std::string text = "[s]\r\n";
  for (int i = 0; i < 200; ++i) text += "id = \"PCI\\VEN_1000&DEV_" + std::to_string(1000 + i) + "\", \"svc\"\r\n";
  Write(text);
  char buf[300];
  char* keys[100];
  char* values[100];
  unsigned n = o2s::ReadSectionEntries(path_.c_str(), "s", buf, sizeof buf, keys, values, 100);
  EXPECT_EQ(n, 8u);  // 34 bytes an entry: 8 fit in 300 with the closing zero
  EXPECT_STREQ(values[7], "\"PCI\\VEN_1000&DEV_1007\", \"svc\"");
}

// Runs `read` with standard output captured; returns what it printed.
template <typename F>
std::string Captured(F read) {
  ::testing::internal::CaptureStdout();
  read();
  fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST_F(OemFile, DriverFileAndItsMessages) {
  struct Case {
    const char* section;  // body of [Files.scsi.opt]; null: no such section
    const char* driver;   // expected driver file; null: none
    const char* message;  // expected output, UTF-8
  } cases[] = {
      {"driver = d1, viostor.sys, viostor\r\n", "viostor.sys", ""},
      {"driver = d1,\"nv raid.sys\"\r\n", "nv", ""},
      {"Driver=d1,a.sys\r\ndriver = d2, b.sys\r\n", "a.sys", ""},
      {"driver = d1\r\n", nullptr, "ERROR! files.scsi.optでドライバーが見つかりません。\n"},
      {"driver = \r\n", nullptr, "ERROR! files.scsi.optにフォーマットエラーがあります。\n"},
      {"driver = , \"\" ,\r\n", nullptr, "ERROR! files.scsi.optにフォーマットエラーがあります。\n"},
      {"inf = d1, x.inf\r\n", nullptr, "ERROR! files.scsi.optでドライバーが見つかりません。\n"},
      {nullptr, nullptr, "ERROR! files.scsi.optでドライバーが見つかりません。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section ? c.section : "(no section)");
    Write(c.section ? std::string("[Files.SCSI.opt]\r\n") + c.section : "[other]\r\n");
    char value[100];
    char* driver = nullptr;
    std::string out = Captured([&] {
      driver = o2s::ReadDriverFile(path_.c_str(), "files.scsi.opt", value, sizeof value, "opt");
    });
    EXPECT_EQ(out, Utf8ToCp932(c.message));
    if (c.driver) {
      ASSERT_NE(driver, nullptr);
      EXPECT_STREQ(driver, c.driver);
    } else {
      EXPECT_EQ(driver, nullptr);
    }
  }
}

TEST_F(OemFile, LongDriverValueIsCutBeforeItIsSplit) {
  std::string name(120, 'n');
  Write("[files.scsi.opt]\r\ndriver = d1, " + name + ".sys\r\n");
  char value[100];
  char* driver = o2s::ReadDriverFile(path_.c_str(), "files.scsi.opt", value, sizeof value, "opt");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(std::string(driver), std::string(95, 'n'));  // 99 bytes minus "d1, "
}

TEST_F(OemFile, HardwareIdsAndTheirMessages) {
  const std::string kFormat = "ERROR! HardwareIds.scsi.optにフォーマットエラーがあります。\n";
  const std::string kNoService = "ERROR! HardwareIds.scsi.optでServiceが見つかりません。\n";
  const std::string kNoId = "ERROR! HardwareIds.scsi.optに有効なidキーがありません。\n";
  struct Case {
    const char* name;
    std::string section;
    std::vector<std::string> ids;
    std::vector<std::string> services;
    std::string message;
  } cases[] = {
      {"quoted pairs, in file order", "id = \"PCI\\VEN_8086&DEV_2922\", \"iaStor\"\r\nid = \"PCI\\VEN_1\", \"S1\"\r\n",
       {"PCI\\VEN_8086&DEV_2922", "PCI\\VEN_1"}, {"iastor", "s1"}, ""},
      {"only an id", "id = \"PCI\\VEN_1\"\r\nid = PCI\\VEN_2, svc\r\n", {"PCI\\VEN_2"}, {"svc"}, kNoService},
      {"only delimiters", "id = , \"\"\r\nid = \" , \"\r\n", {}, {}, kFormat + kFormat + kNoId},
      {"empty value dropped", "id =\r\n", {}, {}, kNoId},
      {"other keys ignored", "ID = a, b\r\nId = a, b\r\nMegaRAID = a, b\r\n", {}, {}, kNoId},
      {"space inside quotes splits", "id = \"PCI\\VEN 1\", \"real\"\r\n", {"PCI\\VEN"}, {"1"}, ""},
      {"third field ignored", "id = a, SVC, extra ; note\r\n", {"a"}, {"svc"}, ""},
      {"lower case ASCII only", "id = a, \x82\x60Mv\r\n", {"a"}, {"\x82\x60mv"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("[HardwareIds.scsi.opt]\r\n" + c.section);
    static char section[10000];
    char* ids[100];
    char* services[100];
    unsigned n = 0;
    std::string out = Captured([&] {
      n = o2s::ReadHardwareIds(path_.c_str(), "hardwareids.scsi.opt", section, sizeof section, ids,
                               services, "opt");
    });
    EXPECT_EQ(out, Utf8ToCp932(c.message));
    ASSERT_EQ(n, c.ids.size());
    for (unsigned i = 0; i < n; ++i) {
      EXPECT_EQ(ids[i], c.ids[i]);
      EXPECT_EQ(services[i], c.services[i]);
    }
  }
}

TEST_F(OemFile, HardwareIdsCountOnlyWithinTheFirstHundredEntries) {
  std::string text = "[HardwareIds.scsi.opt]\r\n";
  for (int i = 0; i < 100; ++i) text += "other" + std::to_string(i) + " = x, y\r\n";
  text += "id = a, b\r\n";
  Write(text);
  static char section[10000];
  char* ids[100];
  char* services[100];
  std::string out = Captured([&] {
    EXPECT_EQ(o2s::ReadHardwareIds(path_.c_str(), "hardwareids.scsi.opt", section, sizeof section,
                                   ids, services, "opt"),
              0u);
  });
  EXPECT_EQ(Cp932ToUtf8(out), "ERROR! HardwareIds.scsi.optに有効なidキーがありません。\n");
}

// What the page shows of a driver: options, file lines and their disks'
// directories, read as the run reads them.
TEST_F(OemFile, DriverDescriptionOfEachOption) {
  Write("[Disks]\r\nd1 = \"Disk, 32-bit\",\\disk1,\\i386\\Win2003\r\nD2 = \"Disk 64\", \\disk1 , \"\\amd64\"\r\n"
        "d3 = \"no directory\",\\tag\r\n[scsi]\r\nx86 = \"VirtIO x86\", extra\r\nx64 = \"VirtIO x64\"\r\n"
        "[Files.scsi.x86]\r\ndriver = d1, viostor.sys, viostor\r\ninf = d1, viostor.inf\r\n"
        "catalog= d1, viostor.cat\r\nDLL = d3, co.dll\r\nhal = d1, x.dll\r\ninf = d1\r\n"
        "[Files.scsi.x64]\r\ndriver = d2, viostor.sys\r\ndriver = d9, second.sys, cfg\r\n"
        "[HardwareIds.scsi.x86]\r\nid = \"PCI\\VEN_1AF4\", \"VioStor\"\r\n");
  static o2s::DriverDescription driver;
  static o2s::OptionDescription option;
  o2s::ReadDriverDescription(path_.c_str(), &driver);
  ASSERT_EQ(driver.optionCount, 2u);
  EXPECT_STREQ(driver.descriptions[0], "VirtIO x86");

  std::string out = Captured([&] { ASSERT_TRUE(o2s::ReadOptionDescription(path_.c_str(), driver, 0, &option)); });
  EXPECT_EQ(out, "");
  EXPECT_STREQ(option.driverFile, "viostor.sys");
  ASSERT_EQ(option.idCount, 1u);
  EXPECT_STREQ(option.services[0], "viostor");
  std::vector<std::string> lines;
  for (unsigned i = 0; i < option.fileCount; ++i) {
    const o2s::DriverFileLine& f = option.files[i];
    lines.push_back(std::to_string(static_cast<int>(f.kind)) + " " + f.diskTag + " " + f.fileName + " [" +
                    f.configKey + "] " + (f.diskDirectory ? f.diskDirectory : "(none)"));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"0 d1 viostor.sys [viostor] \\i386\\Win2003", "1 d1 viostor.inf [] \\i386\\Win2003",
                                              "2 d1 viostor.cat [] \\i386\\Win2003", "3 d3 co.dll [] (none)"}));

  // Tags match in any letter case; the run's driver file is the first line's.
  Captured([&] { ASSERT_TRUE(o2s::ReadOptionDescription(path_.c_str(), driver, 1, &option)); });
  EXPECT_STREQ(option.driverFile, "viostor.sys");
  ASSERT_EQ(option.fileCount, 2u);
  EXPECT_STREQ(option.files[0].diskDirectory, "\\amd64");
  EXPECT_EQ(option.files[1].diskDirectory, nullptr);
  EXPECT_STREQ(option.files[1].configKey, "cfg");
}

// A driver's file with only the ticked options: every other byte the same,
// and the run reads exactly those options from it.
TEST_F(OemFile, OnlyTheTickedOptionsKeepEveryOtherByte) {
  const std::string kept = "[Disks]\r\nd1 = \"x\",\\d,\\i386\r\n[SCSI]\r\n; comment\r\nWNET32 = \"32-bit\"\r\n";
  const std::string text = kept + "WNET64 = \"64-bit\"\r\n\r\n[other]\r\nWNET64 = stays\r\n[scsi]\r\n  wnet64\t= \"again\"\n\x1a";
  std::string filtered = o2s::KeepSectionEntries(text, "scsi", {"WNET32"});
  EXPECT_EQ(filtered, kept + "\r\n[other]\r\nWNET64 = stays\r\n[scsi]\r\n\x1a");
  Write(filtered);
  static o2s::DriverDescription driver;
  o2s::ReadDriverDescription(path_.c_str(), &driver);
  ASSERT_EQ(driver.optionCount, 1u);
  EXPECT_STREQ(driver.optionKeys[0], "WNET32");
  EXPECT_EQ(o2s::KeepSectionEntries(text, "scsi", {"WNET32", "WNET64", "wnet64"}), text);
}

}  // namespace
}  // namespace o2s_test
