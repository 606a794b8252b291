#include "iso/setup_extract.h"

#include <set>

#include "check/check.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

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

namespace {

void AddNamesBelow(const std::string& folder, unsigned depth, size_t limit, std::vector<std::string>* names) {
  if (depth > 32) return;
  std::vector<std::string> folders;
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == ".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      folders.push_back(folder + "\\" + name);
    } else if (names->size() < limit) {
      names->push_back(name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
#else
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  while (struct dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    struct stat status;
    if (name == "." || name == ".." || lstat((folder + "/" + name).c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode)) {
      folders.push_back(folder + "/" + name);
    } else if (S_ISREG(status.st_mode) && names->size() < limit) {
      names->push_back(name);
    }
  }
  closedir(listing);
#endif
  for (const std::string& below : folders) {
    if (names->size() < limit) AddNamesBelow(below, depth + 1, limit, names);
  }
}

}  // namespace

std::vector<std::string> FileNamesBelow(const std::string& folder, size_t limit) {
  std::vector<std::string> names;
  AddNamesBelow(folder, 0, limit, &names);
  return names;
}

}  // namespace o2s::iso
