// The image reader and the update's planning on an image in memory, made
// by genisoimage and then damaged byte by byte where the command's tests
// cannot reach: the Joliet tree, the path tables, the descriptors, and
// names the trees cannot hold.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "iso/iso_update.h"
#include "iso/setup_extract.h"
#include "tests/support/iso_bytes.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using o2s::iso::IsoProblem;
using o2s::iso::kSector;

class IsoReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunProcess("/bin/sh", "/", "", {"-c", "command -v genisoimage >/dev/null"}).status != 0) {
      GTEST_SKIP() << "needs genisoimage (tools/install-deps.sh --tests installs it)";
    }
    Put(root_, "cd/I386/TXTSETUP.SIF", "[SetupData]\r\n");
    Put(root_, "cd/I386/DOSNET.INF", "[Files]\r\n");
    Put(root_, "cd/I386/VIOSTOR.SY_", "old");
    Put(root_, "cd/I386/SUB/X.TXT", "x");
    ProcessResult made = RunProcess("/bin/sh", root_.path(), "",
                                    {"-c", "genisoimage -quiet -no-pad -iso-level 2 -N -J -o in.iso cd 2>&1"});
    ASSERT_EQ(made.status, 0) << made.out;
    image_ = ReadFile(root_ / "in.iso");
    svd_ = 0;
    for (uint32_t s = 17; s < 32 && svd_ == 0; ++s) {
      if (image_[s * kSector] == 2) svd_ = s;
    }
    ASSERT_NE(svd_, 0u);
  }

  IsoProblem Read(const std::string& bytes, o2s::iso::Image* image = nullptr, std::string* subject = nullptr) {
    o2s::iso::MemoryReader reader(bytes.data(), bytes.size());
    o2s::iso::Image own;
    std::string ownSubject;
    return o2s::iso::ReadImage(reader, image ? image : &own, subject ? subject : &ownSubject);
  }

  IsoProblem Plan(const std::string& bytes, const std::vector<o2s::iso::NewFile>& files, std::string* subject,
                  o2s::iso::Update* update = nullptr) {
    o2s::iso::MemoryReader reader(bytes.data(), bytes.size());
    o2s::iso::Image image;
    IsoProblem problem = o2s::iso::ReadImage(reader, &image, subject);
    if (problem != IsoProblem::kNone) return problem;
    o2s::iso::Update own;
    return o2s::iso::PlanUpdate(reader, image, o2s::iso::ChooseSetupFolder(image), files, update ? update : &own,
                                subject);
  }

  // The offset of the Joliet record named `name` (UCS-2).
  size_t JolietRecord(const std::string& name) {
    std::string key(1, static_cast<char>(name.size() * 2));
    for (char c : name) key += std::string(1, '\0') + c;
    size_t at = image_.find(key);
    return at == std::string::npos ? at : at - 32;
  }

  ScratchDir root_;
  std::string image_;
  uint32_t svd_ = 0;
};

TEST_F(IsoReader, ReadsBothTreesAndFindsTheSetupFolder) {
  o2s::iso::Image image;
  std::string subject;
  ASSERT_EQ(Read(image_, &image, &subject), IsoProblem::kNone) << subject;
  ASSERT_TRUE(image.joliet.present);
  ASSERT_EQ(o2s::iso::SetupFolders(image).size(), 1u);
  EXPECT_EQ(image.iso.directories[o2s::iso::ChooseSetupFolder(image)].path, "I386");
  o2s::iso::MemoryReader reader(image_.data(), image_.size());
  std::vector<o2s::iso::Record> records;
  ASSERT_EQ(o2s::iso::ReadRecords(reader, image, image.iso, image.iso.directories[1], &records, &subject),
            IsoProblem::kNone);
  std::vector<std::string> taken;
  for (const auto& record : o2s::iso::RecordsToExtract(records, {"viostor.sys", "other.dll"})) {
    taken.push_back(o2s::iso::NameOf(record, false));
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"DOSNET.INF", "TXTSETUP.SIF", "VIOSTOR.SY_"}));
}

TEST_F(IsoReader, DamageInTheJolietTreeAndTheDescriptorsIsRefused) {
  std::string subject;
  std::string loop = image_;
  size_t sub = JolietRecord("SUB");
  ASSERT_NE(sub, std::string::npos);
  size_t jolietI386 = JolietRecord("I386");
  PutBoth32(&loop, sub + 2, Le32(image_, jolietI386 + 2));
  EXPECT_EQ(Read(loop, nullptr, &subject), IsoProblem::kLoop);
  EXPECT_EQ(subject, "/I386/SUB");

  std::string pathTable = image_;
  PutBoth32(&pathTable, 16 * kSector + 132, 0x7FFFFFF0u);  // a size past everything
  EXPECT_EQ(Read(pathTable), IsoProblem::kPathTable);

  std::string blockSize = image_;
  blockSize[16 * kSector + 128] = 0;
  blockSize[16 * kSector + 129] = 2;  // 512
  EXPECT_EQ(Read(blockSize), IsoProblem::kBlockSize);

  std::string partition = image_;
  partition[svd_ * kSector] = 3;
  EXPECT_EQ(Read(partition), IsoProblem::kOtherDescriptor);

  std::string noTerminator = image_;
  for (uint32_t s = svd_ + 1; s < 32; ++s) {
    if (static_cast<unsigned char>(noTerminator[s * kSector]) == 255) noTerminator[s * kSector + 1] = 'X';
  }
  EXPECT_EQ(Read(noTerminator), IsoProblem::kBadRecord);

  // A name longer than its record; a record too short to hold its fields.
  size_t i386 = image_.find(std::string("\x04I386", 5)) - 32;
  size_t dir = static_cast<size_t>(Le32(image_, i386 + 2)) * kSector;
  size_t second = dir + static_cast<unsigned char>(image_[dir]);
  size_t third = second + static_cast<unsigned char>(image_[second]);
  std::string longName = image_;
  longName[third + 32] = static_cast<char>(250);
  EXPECT_EQ(Read(longName), IsoProblem::kBadRecord);
  std::string shortRecord = image_;
  shortRecord[third] = 20;
  EXPECT_EQ(Read(shortRecord), IsoProblem::kBadRecord);
  EXPECT_EQ(Read(image_.substr(0, 16 * kSector)), IsoProblem::kNotIso);
}

// The setup folder's entry gone from a path table: the update would leave
// it stale, so it is refused.
TEST_F(IsoReader, APathTableThatDoesNotListTheFolderIsRefused) {
  std::string bytes = image_;
  uint32_t table = Le32(image_, 16 * kSector + 140);
  size_t i386 = image_.find(std::string("\x04I386", 5)) - 32;
  uint32_t extent = Le32(image_, i386 + 2);
  std::string key(4, '\0');
  for (int i = 0; i < 4; ++i) key[i] = static_cast<char>(extent >> (8 * i));
  size_t entry = bytes.find(key, static_cast<size_t>(table) * kSector);
  ASSERT_NE(entry, std::string::npos);
  bytes[entry] = static_cast<char>(bytes[entry] + 100);
  std::string subject;
  EXPECT_EQ(Plan(bytes, {{"new.sys", "n"}}, &subject), IsoProblem::kPathTable);
}

TEST_F(IsoReader, NamesTheTreesCannotHoldAreRefused) {
  std::string subject;
  EXPECT_EQ(Plan(image_, {{"sub", "a file named as a folder"}}, &subject), IsoProblem::kNameTaken);
  EXPECT_EQ(Plan(image_, {{"\xe9t\xe9.sys", "x"}}, &subject), IsoProblem::kNameNotAscii);
  EXPECT_EQ(Plan(image_, {{std::string(40, 'a') + ".sys", "x"}}, &subject), IsoProblem::kNameTooLong);
  o2s::iso::Update update;
  ASSERT_EQ(Plan(image_, {{"viostor.sy_", "new"}, {"Viostor.sys", "one"}, {"VIOSTOR.SYS", "two"}}, &subject, &update),
            IsoProblem::kNone);
  ASSERT_EQ(update.files.size(), 2u);  // the later of two of one name
  EXPECT_TRUE(update.files[0].replaced);
  EXPECT_EQ(update.files[0].isoIdentifier, "VIOSTOR.SY_");
  EXPECT_FALSE(update.files[1].replaced);
  EXPECT_EQ(update.files[1].isoIdentifier, "VIOSTOR.SYS");
  EXPECT_EQ(update.files[1].jolietIdentifier, std::string("\0V\0I\0O\0S\0T\0O\0R\0.\0S\0Y\0S", 22));
  EXPECT_EQ(update.files[1].size, 3u);
  EXPECT_EQ(update.appendOffset, image_.size());
}

// The update applied in memory (patches, then the appended sectors) and
// read back: each tree's folder holds every file with its bytes, whatever
// the order of new and replaced files.
TEST_F(IsoReader, TheUpdatedImageReadsBackInBothTrees) {
  std::string subject;
  o2s::iso::Update update;
  std::vector<o2s::iso::NewFile> files = {
      {"aaa.sys", "new, ordered before every file"}, {"TXTSETUP.SIF", "[SetupData]\r\nchanged\r\n"},
      {"zzz.inf", "new, ordered last"}, {"dosnet.inf", "[Files]\r\nd1,aaa.sys\r\n"}};
  ASSERT_EQ(Plan(image_, files, &subject, &update), IsoProblem::kNone) << subject;
  std::string out = image_;
  for (const auto& patch : update.patches) out.replace(static_cast<size_t>(patch.first) * kSector, kSector, patch.second);
  out.resize(update.appendOffset, '\0');
  for (const std::string& piece : update.appended) out += piece;
  ASSERT_EQ(out.size(), static_cast<size_t>(update.volumeSectors) * kSector);

  o2s::iso::MemoryReader reader(out.data(), out.size());
  o2s::iso::Image image;
  ASSERT_EQ(o2s::iso::ReadImage(reader, &image, &subject), IsoProblem::kNone) << subject;
  for (const o2s::iso::Tree* tree : {&image.iso, &image.joliet}) {
    const o2s::iso::Directory* i386 = nullptr;
    for (const auto& dir : tree->directories) {
      if (o2s::iso::FoldCase(dir.path) == "i386") i386 = &dir;
    }
    ASSERT_NE(i386, nullptr);
    std::vector<o2s::iso::Record> records;
    ASSERT_EQ(o2s::iso::ReadRecords(reader, image, *tree, *i386, &records, &subject), IsoProblem::kNone);
    std::map<std::string, std::string> found;
    std::vector<std::string> order;
    for (size_t r = 2; r < records.size(); ++r) {
      std::string bytes;
      std::string name = o2s::iso::FoldCase(o2s::iso::NameOf(records[r], tree->joliet));
      order.push_back(name);
      if (records[r].IsDirectory()) continue;
      ASSERT_EQ(o2s::iso::ReadFileData(reader, image, records[r], 1 << 20, &bytes, &subject), IsoProblem::kNone);
      found[name] = bytes;
    }
    // ISO 9660 names are upper case; Joliet's order by code unit puts the
    // new lower-case names after the CD's upper-case ones.
    if (tree->joliet) {
      EXPECT_EQ(order, (std::vector<std::string>{"dosnet.inf", "sub", "txtsetup.sif", "viostor.sy_", "aaa.sys", "zzz.inf"}));
    } else {
      EXPECT_EQ(order, (std::vector<std::string>{"aaa.sys", "dosnet.inf", "sub", "txtsetup.sif", "viostor.sy_", "zzz.inf"}));
    }
    EXPECT_EQ(found["aaa.sys"], files[0].bytes);
    EXPECT_EQ(found["txtsetup.sif"], files[1].bytes);
    EXPECT_EQ(found["zzz.inf"], files[2].bytes);
    EXPECT_EQ(found["dosnet.inf"], files[3].bytes);
    EXPECT_EQ(found["viostor.sy_"], "old");
  }
  // The moved subfolder still leads back to the moved folder.
  EXPECT_EQ(image.iso.directories.size(), 3u);
}

TEST(IsoMemoryReader, NeverReadsPastItsBytes) {
  std::string bytes = "0123456789";
  o2s::iso::MemoryReader reader(bytes.data(), bytes.size());
  char out[16];
  EXPECT_TRUE(reader.Read(0, out, 10));
  EXPECT_TRUE(reader.Read(10, out, 0));
  EXPECT_FALSE(reader.Read(5, out, 6));
  EXPECT_FALSE(reader.Read(11, out, 0));
  EXPECT_FALSE(reader.Read(UINT64_MAX, out, 2));
}

}  // namespace
}  // namespace o2s_test
