// Which folders the results of a chain of runs may be written into: one
// whose txtsetup.sif the runs started from or left; the picked folder with
// its txtsetup.sif changed since, told by its backup or its names; another
// setup folder; or either, where the picked folder's names are not known.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/folder_refusal.h"
#include "tests/support/setup_file_generator.h"

namespace o2s_test {
namespace {

using o2s::engine::ChainResults;
using o2s::engine::FolderRefusal;
using o2s::engine::FolderToWrite;
using o2s::engine::Listing;
using o2s::engine::RefusalOf;
using o2s::engine::SameListing;

// A setup folder's names as a user's copy of an XP CD has them: the setup
// files in capitals, a few hundred compressed modules.
std::vector<std::string> SetupNames(size_t modules, const char* prefix = "MOD") {
  std::vector<std::string> names = {"TXTSETUP.SIF", "DOSNET.INF", "NTLDR", "SETUPLDR.BIN"};
  for (size_t i = 0; i < modules; ++i) names.push_back(prefix + std::to_string(i) + ".SY_");
  return names;
}

TEST(FolderRefusal, EachWayAFolderIsToldApart) {
  const std::string original = GenerateXpSetupFile(XpSetupFile{60});
  const std::string firstResult = original + "[SCSI.Load]\r\nviostor = viostor.sys,4\r\n";
  const std::string secondResult = firstResult + "[SCSI]\r\nviostor = \"Red Hat VirtIO\"\r\n";
  const std::string edited = firstResult + "; edited by hand\r\n";
  const std::string otherCd = GenerateXpSetupFile(XpSetupFile{60, true, "i386", 5, 0});  // a Windows 2000 CD
  ASSERT_NE(otherCd, original);
  ChainResults chain;
  chain.setupFiles = {original, firstResult, secondResult};  // two sets' starts, and their result
  chain.original = original;
  chain.pickedNames = SetupNames(600);
  chain.brought = {"viostor.sys", "viostor.inf"};

  std::vector<std::string> picked = SetupNames(600);
  // As the results leave it: the files brought, the backup made.
  std::vector<std::string> written = picked;
  for (const char* name : {"VIOSTOR.SYS", "viostor.inf", "txtsetup.sif.orig"}) written.push_back(name);
  std::vector<std::string> otherNames = SetupNames(600, "OTHER");
  std::vector<std::string> fewGone(picked.begin(), picked.end() - 6);
  std::vector<std::string> tooManyGone(picked.begin(), picked.end() - 7);
  std::vector<std::string> editorsBackup = picked;
  for (const char* name : {"TXTSETUP.SIF~", "setup.log"}) editorsBackup.push_back(name);

  struct Case {
    const char* what;
    const std::string* setup;
    const std::string* backup;
    const std::vector<std::string>* names;
    bool pickedKnown;
    FolderRefusal want;
  };
  const Case cases[] = {
      {"the picked folder as picked", &original, nullptr, &picked, true, FolderRefusal::kNone},
      {"as the first set left it", &firstResult, &original, &written, true, FolderRefusal::kNone},
      {"as the chain left it, names unknown", &secondResult, nullptr, &otherNames, false, FolderRefusal::kNone},
      {"edited since, its backup the original", &edited, &original, &otherNames, true, FolderRefusal::kChangedSince},
      {"edited since, no backup, its names", &edited, nullptr, &written, true, FolderRefusal::kChangedSince},
      {"edited since, an editor's backup and a log beside", &edited, nullptr, &editorsBackup, true,
       FolderRefusal::kChangedSince},
      {"edited since, six of 600 gone", &edited, nullptr, &fewGone, true, FolderRefusal::kChangedSince},
      {"seven of 600 gone", &edited, nullptr, &tooManyGone, true, FolderRefusal::kOtherFolder},
      {"another CD's folder", &otherCd, &otherCd, &otherNames, true, FolderRefusal::kOtherFolder},
      {"another CD's folder, picked names unknown", &otherCd, nullptr, &otherNames, false,
       FolderRefusal::kOtherOrChanged},
      {"no txtsetup.sif there", nullptr, nullptr, &otherNames, false, FolderRefusal::kOtherOrChanged},
      {"no txtsetup.sif, but the picked folder's names", nullptr, nullptr, &picked, true, FolderRefusal::kChangedSince},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FolderToWrite folder{c.setup, c.backup, *c.names};
    ChainResults results = chain;
    if (!c.pickedKnown) results.pickedNames.clear();
    EXPECT_EQ(RefusalOf(folder, results), c.want);
  }
}

// The names compared: in any letter case, the setup's own files and the
// files brought left out, plain or compressed; a small folder gets two
// come or gone.
TEST(FolderRefusal, SameListingLeavesOutWhatTheRunsWrite) {
  const std::vector<std::string> picked = {"txtsetup.sif", "ntldr", "ntdetect.com", "iastor.sy_"};
  const std::vector<std::string> brought = {"iaStor.sys", "viostor.sys"};
  EXPECT_EQ(SameListing(picked, {"NTLDR", "NTDETECT.COM", "TXTSETUP.SIF", "VIOSTOR.SY_", "txtsetup.si_", "DOSNET.INF.ORIG"},
                        brought),
            Listing::kSame);
  EXPECT_EQ(SameListing(picked, {"ntldr", "a", "b"}, brought), Listing::kOther);  // one gone, two come
  EXPECT_EQ(SameListing(picked, {"ntldr"}, brought), Listing::kSame);               // one gone
  EXPECT_EQ(SameListing({}, picked, brought), Listing::kUnknown);
}

}  // namespace
}  // namespace o2s_test
