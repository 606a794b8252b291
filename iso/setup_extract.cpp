#include "iso/setup_extract.h"

#include <set>

#include "check/check.h"

namespace o2s::iso {

std::vector<Record> RecordsToExtract(const std::vector<Record>& records, const std::vector<std::string>& driverNames) {
  std::set<std::string> wanted = {"txtsetup.sif", "txtsetup.sif.orig", "dosnet.inf", "dosnet.inf.orig"};
  for (const std::string& name : driverNames) {
    wanted.insert(FoldCase(name));
    char compressed[512];
    CompressedName(name.c_str(), compressed, sizeof compressed);
    wanted.insert(FoldCase(compressed));
  }
  std::vector<Record> out;
  std::set<std::string> taken;
  for (size_t r = 2; r < records.size(); ++r) {
    if (records[r].IsDirectory()) continue;
    std::string name = FoldCase(NameOf(records[r], false));
    if (wanted.count(name) != 0 && taken.insert(name).second) out.push_back(records[r]);
  }
  return out;
}

}  // namespace o2s::iso
