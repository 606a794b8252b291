#include "engine/folder_refusal.h"

#include <algorithm>
#include <set>

#include "check/setup_names.h"
#include "engine/survey.h"

namespace o2s::engine {
namespace {

// A folder's names in one letter case, less the setup's own and `left`.
std::set<std::string> Compared(const std::vector<std::string>& names, const std::set<std::string>& left) {
  std::set<std::string> out;
  for (const std::string& name : names) {
    std::string folded = FoldName(name);
    if (!IsSetupOwnFile(name.data(), name.size()) && left.count(folded) == 0) out.insert(folded);
  }
  return out;
}

}  // namespace

Listing SameListing(const std::vector<std::string>& pickedNames, const std::vector<std::string>& names,
                    const std::vector<std::string>& brought) {
  if (pickedNames.empty()) return Listing::kUnknown;
  std::set<std::string> left;
  for (const std::string& file : brought) {
    left.insert(FoldName(file));
    left.insert(FoldName(CompressedFileName(file)));
  }
  std::set<std::string> picked = Compared(pickedNames, left);
  std::set<std::string> there = Compared(names, left);
  size_t differ = 0;
  for (const std::string& name : picked) differ += there.count(name) == 0;
  for (const std::string& name : there) differ += picked.count(name) == 0;
  // A few files come or gone: an editor's backup, a log.
  size_t slack = std::max<size_t>(2, picked.size() / 100);
  return differ <= slack ? Listing::kSame : Listing::kOther;
}

FolderRefusal RefusalOf(const FolderToWrite& folder, const ChainResults& results) {
  if (folder.setupFile != nullptr &&
      std::find(results.setupFiles.begin(), results.setupFiles.end(), *folder.setupFile) != results.setupFiles.end()) {
    return FolderRefusal::kNone;
  }
  if (folder.setupBackup != nullptr && *folder.setupBackup == results.original) return FolderRefusal::kChangedSince;
  switch (SameListing(results.pickedNames, folder.names, results.brought)) {
    case Listing::kSame: return FolderRefusal::kChangedSince;
    case Listing::kOther: return FolderRefusal::kOtherFolder;
    case Listing::kUnknown: break;
  }
  return FolderRefusal::kOtherOrChanged;
}

}  // namespace o2s::engine
