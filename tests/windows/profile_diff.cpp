// Reads the same files through the system's profile functions and through
// the project's engine, and lists every difference.
//
//   profile_diff CORPUS_DIR
//
// A difference where the file has one of the features that the engine reads
// on purpose the way setup does ('#' comments, a repeated section header,
// 0x1A, lone CR line ends, lines without '=') is listed as intended, with
// the reason. Any other difference fails (exit status 1).
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/profile_cases.h"

namespace {

using o2s_test::kProfileCases;
using o2s_test::ProfileCase;
using o2s_test::ProfileOp;

int gCompared = 0;
int gIntended = 0;
int gFailures = 0;

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == 0) {
      out += "\\0";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void Report(const std::string& where, const std::string& system, const std::string& engine,
            const std::string& reason) {
  ++gCompared;
  if (system == engine) return;
  if (reason.empty()) {
    ++gFailures;
    printf("FAIL      %s\n  system: %s\n  engine: %s\n", where.c_str(), Visible(system).c_str(),
           Visible(engine).c_str());
  } else {
    ++gIntended;
    printf("intended  %s (%s)\n  system: %s\n  engine: %s\n", where.c_str(), reason.c_str(),
           Visible(system).c_str(), Visible(engine).c_str());
  }
}

// The section list up to and including its closing zero byte.
std::string SectionList(const char* buf) {
  std::string out;
  const char* p = buf;
  while (*p != '\0') {
    size_t n = strlen(p) + 1;
    out.append(p, n);
    p += n;
  }
  out += '\0';
  return out;
}

std::string SystemSection(const char* section, const char* file, unsigned capacity) {
  std::vector<char> buf(capacity + 2, '\x7f');
  GetPrivateProfileSectionA(section, buf.data(), capacity, file);
  return capacity >= 2 ? SectionList(buf.data()) : std::string(buf.data(), capacity);
}

std::string EngineSection(const char* section, const char* file, unsigned capacity) {
  std::vector<char> buf(capacity + 2, '\x7f');
  o2s::GetPrivateProfileSectionA(section, buf.data(), capacity, file);
  return capacity >= 2 ? SectionList(buf.data()) : std::string(buf.data(), capacity);
}

std::string SystemString(const char* section, const char* key, const char* def, const char* file,
                         unsigned capacity) {
  std::vector<char> buf(capacity + 1, '\0');
  GetPrivateProfileStringA(section, key, def, buf.data(), capacity, file);
  return buf.data();
}

std::string EngineString(const char* section, const char* key, const char* def, const char* file,
                         unsigned capacity) {
  std::vector<char> buf(capacity + 1, '\0');
  o2s::GetPrivateProfileStringA(section, key, def, buf.data(), capacity, file);
  return buf.data();
}

std::string ReadBytes(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  for (int c; (c = fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  fclose(f);
  return out;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\x1a'; }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// What in `section` of the file the engine reads on purpose unlike
// Windows; empty when nothing.
std::string FeaturesOf(const std::string& file, const std::string& section) {
  std::set<std::string> reasons;
  int headers = 0;
  bool inside = false;
  size_t start = 0;
  while (start < file.size()) {
    size_t end = file.find_first_of("\r\n", start);
    if (end == std::string::npos) end = file.size();
    std::string line = file.substr(start, end - start);
    if (end < file.size() && file[end] == '\r' && (end + 1 == file.size() || file[end + 1] != '\n')) {
      if (inside) reasons.insert("lone CR ends a line here, as in setup");
    }
    start = end + (end < file.size() && file[end] == '\r' && end + 1 < file.size() && file[end + 1] == '\n' ? 2 : 1);
    size_t first = 0;
    while (first < line.size() && Blank(line[first])) ++first;
    if (line.find('\x1a') != std::string::npos && (inside || first == line.size())) {
      reasons.insert("0x1A is white space here");
    }
    if (first == line.size()) continue;
    if (line[first] == '[') {
      size_t close = line.find(']', first);
      std::string name = line.substr(first + 1, close == std::string::npos ? std::string::npos : close - first - 1);
      while (!name.empty() && Blank(name.back())) name.pop_back();
      while (!name.empty() && Blank(name.front())) name.erase(0, 1);
      inside = Lower(name) == Lower(section);
      if (inside && ++headers > 1) reasons.insert("a repeated header continues the section, as in setup");
      continue;
    }
    if (!inside) continue;
    if (line[first] == '#') reasons.insert("'#' starts a comment here, as in setup");
    if (line[first] != ';' && line[first] != '#' && line.find('=') == std::string::npos) {
      reasons.insert("a line without '=' is not delivered");
    }
  }
  std::string out;
  for (const std::string& r : reasons) out += (out.empty() ? "" : "; ") + r;
  return out;
}

void CompareTable() {
  int number = 0;
  for (const ProfileCase& c : kProfileCases) {
    if (c.op == ProfileOp::kWrite) continue;  // Windows lays out lines its own way
    std::string path = ".\\diff_case_" + std::to_string(++number) + ".ini";
    const char* file = c.file == "<null name>" ? nullptr : path.c_str();
    DeleteFileA(path.c_str());
    if (c.file != "<missing>" && file != nullptr) {
      FILE* f = fopen(file, "wb");
      fwrite(c.file.data(), 1, c.file.size(), f);
      fclose(f);
    }
    std::string where = std::string("case ") + c.name;
    std::string reason = c.intendedDifference ? c.intendedDifference : "";
    if (c.op == ProfileOp::kSection) {
      Report(where, SystemSection(c.section, file, c.capacity), EngineSection(c.section, file, c.capacity), reason);
    } else {
      Report(where, SystemString(c.section, c.key, c.text, file, c.capacity),
             EngineString(c.section, c.key, c.text, file, c.capacity), reason);
    }
    DeleteFileA(path.c_str());
  }
}

void CompareCorpusFile(const std::string& path, const std::string& name) {
  const std::string bytes = ReadBytes(path);
  std::set<std::string> sections;
  std::vector<char> names(1 << 16);
  GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path.c_str());
  for (const char* p = names.data(); *p != '\0'; p += strlen(p) + 1) sections.insert(Lower(p));
  sections.insert("scsi");
  for (const std::string& section : sections) {
    std::string where = name + " [" + section + "]";
    std::string reason = FeaturesOf(bytes, section);
    std::string system = SystemSection(section.c_str(), path.c_str(), 1 << 16);
    Report(where, system, EngineSection(section.c_str(), path.c_str(), 1 << 16), reason);
    std::set<std::string> keys;
    for (const char* p = system.data(); *p != '\0'; p += strlen(p) + 1) {
      std::string entry = p;
      size_t equals = entry.find('=');
      if (equals != std::string::npos && equals > 0) keys.insert(entry.substr(0, equals));
    }
    for (const std::string& key : keys) {
      Report(where + " " + key, SystemString(section.c_str(), key.c_str(), "<none>", path.c_str(), 1024),
             EngineString(section.c_str(), key.c_str(), "<none>", path.c_str(), 1024), reason);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: profile_diff CORPUS_DIR\n");
    return 2;
  }
  CompareTable();
  const int tableReads = gCompared, tableIntended = gIntended, tableFailures = gFailures;
  std::string dir = argv[1];
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*.oem").c_str(), &found);
  int files = 0;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      CompareCorpusFile(dir + "\\" + found.cFileName, found.cFileName);
      ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  printf("\n%d reads of the contract table: %d differences intended, %d failures\n", tableReads,
         tableIntended, tableFailures);
  printf("%d corpus files: %d reads compared, %d differences intended, %d failures\n", files,
         gCompared - tableReads, gIntended - tableIntended, gFailures - tableFailures);
  return gFailures == 0 && files > 0 ? 0 : 1;
}
