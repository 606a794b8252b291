// The profile engine against the contract table, and the properties that a
// table row cannot show: cuts at every capacity, size limits, byte-exact
// preservation of a real-sized file, atomic replacement and the cache.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/profile_cases.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {

// ctest lists the table's cases by name.
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

namespace {

const char kCanary = '\xee';

// What GetPrivateProfileSectionA delivered: its entries up to and including
// the zero byte that ends the list (an empty list is two zero bytes where
// they fit), or all of the capacity if no zero byte ends it.
std::string DeliveredList(const std::string& buf, unsigned capacity) {
  if (capacity >= 2 && buf[0] == '\0') return buf.substr(0, 2);
  size_t end = 0;
  while (end < capacity && buf[end] != '\0') {
    size_t zero = buf.find('\0', end);
    if (zero == std::string::npos || zero >= capacity) return buf.substr(0, capacity);
    end = zero + 1;
  }
  return buf.substr(0, end < capacity ? end + 1 : capacity);
}

class ProfileContract : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileContract, Holds) {
  const ProfileCase& c = GetParam();
  ScratchDir dir;
  std::string path = dir / "test.ini";
  if (c.file != "<missing>" && c.file != "<null name>") WriteFile(path, c.file);
  const char* name = c.file == "<null name>" ? nullptr : path.c_str();
  switch (c.op) {
    case ProfileOp::kSection: {
      std::string buf(c.capacity + 16, kCanary);
      o2s::GetPrivateProfileSectionA(c.section, &buf[0], c.capacity, name);
      EXPECT_EQ(DeliveredList(buf, c.capacity), c.expected);
      EXPECT_EQ(buf.substr(c.capacity), std::string(16, kCanary));
      break;
    }
    case ProfileOp::kString: {
      std::string buf(c.capacity + 16, kCanary);
      unsigned n = o2s::GetPrivateProfileStringA(c.section, c.key, c.text, &buf[0], c.capacity, name);
      EXPECT_EQ(std::string(buf.c_str()), c.expected);
      EXPECT_EQ(n, c.expected.size());
      EXPECT_EQ(buf.substr(c.capacity), std::string(16, kCanary));
      break;
    }
    case ProfileOp::kWrite:
      EXPECT_NE(o2s::WritePrivateProfileStringA(c.section, c.key, c.text, path.c_str()), 0);
      EXPECT_EQ(ReadFile(path), c.expected);
      EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"test.ini"});
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileContract, ::testing::ValuesIn(kProfileCases),
                         [](const ::testing::TestParamInfo<ProfileCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ProfileSection, CutBetweenEntriesAtEveryCapacity) {
  ScratchDir dir;
  std::string path = dir / "cut.ini";
  WriteFile(path, "[s]\r\na=1\r\nbb=22\r\n; c\r\nccc=333\r\nd=\x93\xfa\r\n");
  const std::vector<std::string> entries = {"a=1", "bb=22", "ccc=333", "d=\x93\xfa"};
  for (unsigned capacity = 0; capacity < 32; ++capacity) {
    SCOPED_TRACE(capacity);
    std::string expected;
    for (const std::string& e : entries) {
      if (expected.size() + e.size() + 2 > capacity) break;
      expected += e + '\0';
    }
    if (capacity > 0) expected += '\0';
    if (expected.size() == 1 && capacity >= 2) expected += '\0';
    std::string buf(capacity + 16, kCanary);
    unsigned n = o2s::GetPrivateProfileSectionA("S", &buf[0], capacity, path.c_str());
    EXPECT_EQ(buf.substr(0, expected.size()), expected);
    EXPECT_EQ(buf.substr(capacity), std::string(16, kCanary));
    EXPECT_EQ(n, capacity == 0 ? 0u : (expected.size() <= 2 ? 0u : expected.size() - 1));
  }
}

TEST(ProfileLimits, HugeFileLongLineAndLongKey) {
  ScratchDir dir;
  std::string path = dir / "huge.ini";
  std::string longKey(10000, 'k');
  std::string longValue(100000, 'v');
  std::string text = "[big]\r\n" + longKey + " = " + longValue + "\r\n[filler]\r\n";
  while (text.size() < 20u * 1024 * 1024) text += "some.file = 1,,,,,,3_,4,1\r\n";
  text += "[last]\r\nk = end\r\n";
  WriteFile(path, text);

  std::vector<char> buf(200000);
  o2s::GetPrivateProfileStringA("big", longKey.c_str(), "", buf.data(),
                                static_cast<unsigned>(buf.size()), path.c_str());
  EXPECT_EQ(std::string(buf.data()), longValue);
  o2s::GetPrivateProfileStringA("last", "k", "", buf.data(), 100, path.c_str());
  EXPECT_STREQ(buf.data(), "end");

  ASSERT_NE(o2s::WritePrivateProfileStringA("big", longKey.c_str(), "short", path.c_str()), 0);
  std::string after = ReadFile(path);
  EXPECT_EQ(after.size(), text.size() - longValue.size() + 5);
  EXPECT_EQ(after.substr(0, 7 + longKey.size() + 8), "[big]\r\n" + longKey + " = short");
}

// A write into a real-sized setup file changes exactly one line.
TEST(ProfilePreservation, RealSizedFileKeepsEveryOtherByte) {
  ScratchDir dir;
  std::string path = dir / "txtsetup.sif";
  const std::string original = GenerateSetupFile(22000);
  ASSERT_GT(original.size(), 900u * 1024);
  WriteFile(path, original);

  ASSERT_NE(o2s::WritePrivateProfileStringA("HardwareIdsDatabase", "PCI\\VEN_ABCD&DEV_0001",
                                            "\"newdrv\"", path.c_str()), 0);
  std::string after = ReadFile(path);
  const std::string added = "PCI\\VEN_ABCD&DEV_0001 = \"newdrv\"\r\n";
  size_t at = after.find(added);
  ASSERT_NE(at, std::string::npos);
  // Without the new line and the dropped trailing 0x1A, the bytes are the old ones.
  EXPECT_EQ(after.substr(0, at) + after.substr(at + added.size()) + "\x1a", original);
  // It sits right after the last entry of its section, before the blank line.
  size_t sectionEnd = original.find("\r\n\r\n", original.find("[HardwareIdsDatabase]")) + 2;
  EXPECT_EQ(at, sectionEnd);

  // Replacing a value in the middle of the file changes that value only.
  const std::string before = after;
  ASSERT_NE(o2s::WritePrivateProfileStringA("sourcedisksfiles", "DRVFILE00007.SYS", "2,,,,,,4_,4,1",
                                            path.c_str()), 0);
  std::string replaced = ReadFile(path);
  size_t line = before.find("drvfile00007.sys = ");
  ASSERT_NE(line, std::string::npos);
  size_t valueAt = line + 19;
  size_t valueEnd = before.find("\r\n", valueAt);
  EXPECT_EQ(replaced, before.substr(0, valueAt) + "2,,,,,,4_,4,1" + before.substr(valueEnd));
}

TEST(ProfileWrite, UnchangedValueLeavesFileUntouched) {
  ScratchDir dir;
  std::string path = dir / "t.ini";
  WriteFile(path, "[s]\r\nk = v\r\n");
  struct stat before, after;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  EXPECT_NE(o2s::WritePrivateProfileStringA("S", "K", "v", path.c_str()), 0);
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(ReadFile(path), "[s]\r\nk = v\r\n");
}

TEST(ProfileWrite, ReadOnlyFileStaysUnchanged) {
  ScratchDir dir;
  std::string path = dir / "t.ini";
  WriteFile(path, "[s]\r\nk = v\r\n");
  chmod(path.c_str(), 0444);
  EXPECT_EQ(o2s::WritePrivateProfileStringA("s", "k", "new", path.c_str()), 0);
  EXPECT_EQ(ReadFile(path), "[s]\r\nk = v\r\n");
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"t.ini"});
}

TEST(ProfileWrite, KeepsPermissionBitsAndWritesThroughLink) {
  ScratchDir dir;
  std::string target = dir / "real.ini";
  std::string link = dir / "link.ini";
  WriteFile(target, "[s]\r\nk = v\r\n");
  chmod(target.c_str(), 0640);
  ASSERT_EQ(symlink("real.ini", link.c_str()), 0);
  ASSERT_NE(o2s::WritePrivateProfileStringA("s", "k", "w", link.c_str()), 0);
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(target), "[s]\r\nk = w\r\n");
}

// The cached copy follows the file: an appended marker, an outside edit.
TEST(ProfileCache, FollowsChangesMadeOutside) {
  ScratchDir dir;
  std::string path = dir / "t.ini";
  WriteFile(path, "[s]\r\na = 1\r\n");
  ASSERT_NE(o2s::WritePrivateProfileStringA("s", "b", "2", path.c_str()), 0);

  o2s::AppendStream* stream = o2s::OpenAppendStream(path.c_str());
  ASSERT_NE(stream, nullptr);
  ASSERT_NE(o2s::WriteAppendStream(stream, "\x1a", 1), 0);
  ASSERT_NE(o2s::CloseAppendStream(stream), 0);
  ASSERT_NE(o2s::WritePrivateProfileStringA("s", "c", "3", path.c_str()), 0);
  EXPECT_EQ(ReadFile(path), "[s]\r\na = 1\r\nb = 2\r\nc = 3\r\n");

  WriteFile(path, "[t]\r\nx = outside edit\r\n");
  char buf[64];
  o2s::GetPrivateProfileStringA("t", "x", "", buf, sizeof buf, path.c_str());
  EXPECT_STREQ(buf, "outside edit");
  ASSERT_NE(o2s::WritePrivateProfileStringA("t", "y", "1", path.c_str()), 0);
  EXPECT_EQ(ReadFile(path), "[t]\r\nx = outside edit\r\ny = 1\r\n");
}

// A name missing as given is found in another letter case, as on Windows.
TEST(FileNames, MatchInAnyLetterCase) {
  ScratchDir dir;
  // Files created one by one, each time t.ini read: the first match in byte
  // order (whatever order the folder lists), then the exact name, read afresh.
  const char* rows[][2] = {{"t.INI", "t.INI"}, {"T.INI", "T.INI"}, {"t.Ini", "T.INI"}, {"t.ini", "t.ini"}};
  for (auto& row : rows) {
    WriteFile(dir / row[0], std::string("[s]\r\nk=") + row[0] + "\r\n");
    char found[8];
    o2s::GetPrivateProfileStringA("s", "k", "", found, sizeof found, (dir / "t.ini").c_str());
    EXPECT_STREQ(found, row[1]);
  }
  // Never replacing means in any letter case.
  EXPECT_EQ(o2s::MoveFileA((dir / "t.ini").c_str(), (dir / "T.ini").c_str()), 0);
  EXPECT_EQ(o2s::CopyFileA((dir / "t.ini").c_str(), (dir / "T.Ini").c_str(), 1), 0);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"T.INI", "t.INI", "t.Ini", "t.ini"}));
}

}  // namespace
}  // namespace o2s_test
