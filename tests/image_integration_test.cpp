// The image's integration as one engine function (engine/image_integration.h)
// over the reader that asks instead of blocking (iso/range_cache_reader.h):
// round after round of fetching what it lacks, it reaches exactly what
// oem2sif-integrate --iso writes; hostile images still end with their
// refusal, in few rounds. The cache reader's own bookkeeping, and the
// updated image laid out as pieces (iso::LayOut).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "check/pe_image.h"
#include "engine/image_integration.h"
#include "iso/range_cache_reader.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/iso_bytes.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using o2s::engine::ImageRun;
using o2s::engine::ImageStop;
using o2s::iso::ByteRange;
using o2s::iso::kCacheChunk;
using o2s::iso::RangeCacheReader;

const uint32_t kSector = 2048;

bool HaveGenisoimage() {
  return RunProcess("/bin/sh", "/", "", {"-c", "command -v genisoimage >/dev/null"}).status == 0;
}

// The updated image, assembled from its pieces as the page does.
std::string Assemble(const std::string& input, const o2s::iso::Update& update) {
  std::string out;
  for (const auto& piece : o2s::iso::LayOut(update, input.size())) {
    out += piece.fromInput ? input.substr(piece.from, piece.size) : piece.bytes;
  }
  return out;
}

struct Checker {
  std::unique_ptr<o2s::CheckWorkspace> workspace{new o2s::CheckWorkspace};
  std::vector<o2s::Finding> findings{std::vector<o2s::Finding>(256)};
};

// The integration over a cache of `image`'s ranges, fetching what each
// round lacks, as the page's worker does.
struct RangeRun {
  ImageRun run;
  unsigned rounds = 0;
  uint64_t fetched = 0;
  bool grew = true;  // every round that lacked bytes asked for some the cache did not hold
};
RangeRun RunOverRanges(const std::string& image, const std::vector<std::string>& drivers, Checker* checker,
                       uint64_t limit = 256u << 20) {
  RangeRun out;
  RangeCacheReader reader(image.size(), limit);
  for (out.rounds = 1; out.rounds < 1000; ++out.rounds) {
    out.run = o2s::engine::IntegrateImage(reader, drivers, 0, {}, checker->workspace.get(), checker->findings.data(),
                                          static_cast<unsigned>(checker->findings.size()));
    if (out.run.result.stop != ImageStop::kNeedRanges) break;
    std::vector<ByteRange> needed = reader.Needed();
    uint64_t before = reader.CachedBytes();
    for (const ByteRange& range : needed) {
      if (!reader.Add(range.offset, image.substr(range.offset, range.size))) return out;
      out.fetched += range.size;
    }
    out.grew = out.grew && reader.CachedBytes() > before;
  }
  return out;
}

class ImageIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGenisoimage()) GTEST_SKIP() << "needs genisoimage (tools/install-deps.sh --tests installs it)";
    XpSetupFile xp;
    xp.lines = 1200;
    Put(root_, "cd/I386/TXTSETUP.SIF", GenerateXpSetupFile(xp));
    Put(root_, "cd/I386/DOSNET.INF", MakeDosnet({"ntkrnlmp.exe"}, {"ntkrnlmp.exe"}));
    Put(root_, "cd/I386/NTOSKRNL.EXE", MakeDriverImage(o2s::kMachineX86, {}));
    // Only the CD holds a file the INF copies: the check takes it out.
    Put(root_, "cd/I386/CDONLY.SY_", MakeCabinet("cdonly.sys", "on the CD"));
    for (int i = 0; i < 600; ++i) {
      Put(root_, "cd/I386/F" + std::to_string(i) + (i % 2 ? ".SY_" : ".DL_"), std::string(3000 + i, 'a' + i % 26));
    }
    for (int i = 0; i < 30; ++i) Put(root_, "cd/I386/ASMS/A" + std::to_string(i) + "/X.MAN", "manifest");
    Put(root_, "cd/I386/SYSTEM32/SMSS.EXE", "smss");
    Put(root_, "cd/BIG.CAB", std::string(4u << 20, 'c'));
    Put(root_, "drv/txtsetup.oem", VirtioOemWithInf());
    Put(root_, "drv/i386/win2003/viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
    Put(root_, "drv/i386/win2003/viostor.inf",
        MakeStorageInf("viostor", {"PCI\\VEN_1AF4&DEV_1001"}, "viostor.cat", {"viostor.sys", "cdonly.sys"}, {"vioco.dll"}));
    Put(root_, "drv/i386/win2003/viostor.cat", "catalog");
    Put(root_, "drv/i386/win2003/vioco.dll", "co-installer");
    ProcessResult made = RunProcess("/bin/sh", root_.path(), "",
                                    {"-c", "genisoimage -quiet -iso-level 2 -N -J -relaxed-filenames -V XPCD -o in.iso cd 2>&1"});
    ASSERT_EQ(made.status, 0) << made.out;
    image_ = ReadFile(root_ / "in.iso");
  }

  ScratchDir root_;
  std::string image_;
  Checker checker_;
};

// Round after round the cache-reader run reaches the command's image, byte
// for byte, and the same check; it fetches a small part of the image.
TEST_F(ImageIntegration, RoundsOverACacheReachTheCommandsImage) {
  ProcessResult command = RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "",
                                     {"--iso", "in.iso", "--output", "out.iso", "drv"});
  ASSERT_EQ(command.status, 0) << command.out;
  std::string expected = ReadFile(root_ / "out.iso");

  // The whole file as the reader: one round.
  o2s::iso::FileReader file;
  ASSERT_TRUE(file.Open(root_ / "in.iso"));
  ImageRun whole = o2s::engine::IntegrateImage(file, {root_ / "drv"}, 0, {}, checker_.workspace.get(),
                                               checker_.findings.data(), static_cast<unsigned>(checker_.findings.size()));
  ASSERT_EQ(whole.result.stop, ImageStop::kNone);
  EXPECT_EQ(Assemble(image_, whole.result.update), expected);
  EXPECT_TRUE(whole.result.checked);
  EXPECT_EQ(whole.result.check.problems, 0u);

  RangeRun ranges = RunOverRanges(image_, {root_ / "drv"}, &checker_);
  ASSERT_EQ(ranges.run.result.stop, ImageStop::kNone) << "after " << ranges.rounds << " rounds";
  EXPECT_TRUE(ranges.grew);
  EXPECT_GT(ranges.rounds, 2u);
  EXPECT_LT(ranges.rounds, 40u);
  EXPECT_EQ(Assemble(image_, ranges.run.result.update), expected);
  ASSERT_EQ(ranges.run.result.files.size(), whole.result.files.size());
  for (size_t f = 0; f < whole.result.files.size(); ++f) {
    EXPECT_EQ(ranges.run.result.files[f].name, whole.result.files[f].name);
    EXPECT_EQ(ranges.run.result.files[f].bytes, whole.result.files[f].bytes);
  }
  EXPECT_EQ(ranges.run.source.takenNames, whole.source.takenNames);
  EXPECT_TRUE(ranges.run.result.checked);
  EXPECT_EQ(ranges.run.result.check.count, whole.result.check.count);
  EXPECT_EQ(ranges.run.result.check.problems, 0u);
  // The setup files, directories and descriptors: far below the image.
  EXPECT_LT(ranges.fetched * 4, image_.size()) << ranges.fetched << " of " << image_.size();
}

// Hostile images end with their refusal, whatever the rounds, and a cache
// too small for what the run needs stops the fetching.
TEST_F(ImageIntegration, HostileImagesEndWithTheirRefusal) {
  size_t setupRecord = RecordOf(image_, "TXTSETUP.SIF");
  size_t i386Record = RecordOf(image_, "I386");
  size_t system32Record = RecordOf(image_, "SYSTEM32");
  ASSERT_NE(setupRecord, std::string::npos);
  ASSERT_NE(i386Record, std::string::npos);
  ASSERT_NE(system32Record, std::string::npos);
  const uint32_t volume = Le32(image_, 16 * kSector + 80);
  struct Case {
    std::string name;
    std::string bytes;
    o2s::iso::IsoProblem problem;
  };
  std::vector<Case> cases;
  std::string loop = image_;
  PutBoth32(&loop, system32Record + 2, Le32(image_, i386Record + 2));
  cases.push_back({"loop", loop, o2s::iso::IsoProblem::kLoop});
  std::string pastEnd = image_;
  PutBoth32(&pastEnd, setupRecord + 2, volume + 10);
  cases.push_back({"past the end", pastEnd, o2s::iso::IsoProblem::kPastEnd});
  std::string huge = image_;
  PutBoth32(&huge, setupRecord + 10, 0xFFFFF000u);
  cases.push_back({"a huge setup file", huge, o2s::iso::IsoProblem::kPastEnd});
  cases.push_back({"cut short", image_.substr(0, image_.size() / 2), o2s::iso::IsoProblem::kCut});
  cases.push_back({"not an image", std::string(40 * kSector, 'x'), o2s::iso::IsoProblem::kNotIso});
  for (const Case& c : cases) {
    RangeRun ranges = RunOverRanges(c.bytes, {root_ / "drv"}, &checker_);
    EXPECT_EQ(ranges.run.result.stop, ImageStop::kImageRefused) << c.name;
    EXPECT_EQ(ranges.run.result.problem, c.problem) << c.name << ": " << ranges.run.result.subject;
    EXPECT_TRUE(ranges.grew) << c.name;
    EXPECT_LT(ranges.rounds, 40u) << c.name;
  }
  // A cache of 256 KB cannot hold what the run needs: Add refuses, the
  // caller stops (the page says the image is too much to read).
  RangeRun small = RunOverRanges(image_, {root_ / "drv"}, &checker_, 256u << 10);
  EXPECT_EQ(small.run.result.stop, ImageStop::kNeedRanges);
  EXPECT_LT(small.rounds, 10u);
}

TEST(RangeCacheReader, AsksForWhatItLacksAndServesWhatItHolds) {
  std::string image(3 * kCacheChunk + 100, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
  RangeCacheReader reader(image.size(), 2 * kCacheChunk + 100);
  char out[300];
  // A read across two chunks asks for both, merged; one past the end asks
  // for nothing.
  EXPECT_FALSE(reader.Read(kCacheChunk - 100, out, 200));
  EXPECT_TRUE(reader.Lacking());
  ASSERT_EQ(reader.Needed().size(), 1u);
  EXPECT_EQ(reader.Needed()[0].offset, 0u);
  EXPECT_EQ(reader.Needed()[0].size, 2u * kCacheChunk);
  EXPECT_FALSE(reader.Read(image.size() - 10, out, 20));
  EXPECT_EQ(reader.Needed().size(), 1u);
  // Ranges not on chunks, or not whole chunks, are refused.
  EXPECT_FALSE(reader.Add(10, image.substr(10, kCacheChunk)));
  EXPECT_FALSE(reader.Add(0, image.substr(0, 100)));
  EXPECT_TRUE(reader.Add(0, image.substr(0, 2 * kCacheChunk)));
  EXPECT_FALSE(reader.Lacking());
  ASSERT_TRUE(reader.Read(kCacheChunk - 100, out, 200));
  EXPECT_EQ(std::string(out, 200), image.substr(kCacheChunk - 100, 200));
  // The last chunk ends at the image's end; the limit holds.
  EXPECT_FALSE(reader.Read(image.size() - 300, out, 300));
  ASSERT_EQ(reader.Needed().size(), 1u);
  EXPECT_EQ(reader.Needed()[0].offset, 2u * kCacheChunk);
  EXPECT_EQ(reader.Needed()[0].size, kCacheChunk + 100u);
  EXPECT_FALSE(reader.Add(2 * kCacheChunk, image.substr(2 * kCacheChunk, kCacheChunk)));  // past the limit
  reader.ForgetNeeded();
  EXPECT_FALSE(reader.Lacking());
  EXPECT_EQ(reader.CachedBytes(), 2u * kCacheChunk);
  RangeCacheReader roomy(image.size(), image.size());
  EXPECT_TRUE(roomy.Add(2 * kCacheChunk, image.substr(2 * kCacheChunk)));
  ASSERT_TRUE(roomy.Read(image.size() - 300, out, 300));
  EXPECT_EQ(std::string(out, 300), image.substr(image.size() - 300));
  EXPECT_TRUE(roomy.Add(2 * kCacheChunk, image.substr(2 * kCacheChunk)));  // again: nothing more held
  EXPECT_EQ(roomy.CachedBytes(), kCacheChunk + 100u);
  // Chunks of a sector, as the fuzz target fetches.
  RangeCacheReader sectors(image.size(), image.size(), kSector);
  EXPECT_FALSE(sectors.Read(3000, out, 10));
  ASSERT_EQ(sectors.Needed().size(), 1u);
  EXPECT_EQ(sectors.Needed()[0].offset, kSector);
  EXPECT_EQ(sectors.Needed()[0].size, kSector);
  EXPECT_EQ(sectors.NeededBytes(), kSector);
}

// The pieces of an updated image are what the writer writes: patches in
// place, zeros up to the appended part, the appended pieces.
TEST(LayOut, PiecesAreTheWrittenImage) {
  std::string input(10 * kSector + 300, 'i');
  o2s::iso::Update update;
  update.appendOffset = 11 * kSector;
  update.patches[0] = std::string(kSector, 'p');
  update.patches[4] = std::string(kSector, 'q');
  update.patches[5] = std::string(kSector, 'r');
  update.appended = {std::string(kSector, 'a'), std::string(2 * kSector, 'b')};
  std::string expected = input;
  expected.replace(0, kSector, kSector, 'p');
  expected.replace(4 * kSector, 2 * kSector, std::string(kSector, 'q') + std::string(kSector, 'r'));
  expected.resize(11 * kSector, '\0');
  expected += std::string(kSector, 'a') + std::string(2 * kSector, 'b');
  EXPECT_EQ(Assemble(input, update), expected);
  auto pieces = o2s::iso::LayOut(update, input.size());
  unsigned fromInput = 0;
  for (const auto& piece : pieces) fromInput += piece.fromInput ? 1 : 0;
  EXPECT_EQ(fromInput, 2u);  // between the patches, the input in two slices
  // An input longer than the volume is cut where the appended part starts.
  update.appendOffset = 8 * kSector;
  update.patches.erase(4);
  update.patches.erase(5);
  expected = std::string(kSector, 'p') + input.substr(kSector, 7 * kSector) + std::string(kSector, 'a') +
             std::string(2 * kSector, 'b');
  EXPECT_EQ(Assemble(input, update), expected);
}

}  // namespace
}  // namespace o2s_test
