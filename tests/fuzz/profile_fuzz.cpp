// Round trip of the profile engine: after any write into any file, reading
// the key gives the value, and every other entry is unchanged. The entries
// are listed by a small parser of its own, written from the file rules,
// not from the engine.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "platform/platform.h"

namespace {

struct Entry {
  std::string section;  // lower case
  std::string key;      // as in the file
  std::string value;
};

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\x1a'; }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && Blank(s[a])) ++a;
  while (b > a && Blank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

std::vector<Entry> Entries(const std::string& text) {
  std::vector<Entry> entries;
  std::string section;
  bool inSection = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end;
    if (start < text.size()) start += (text[start] == '\r' && start + 1 < text.size() && text[start + 1] == '\n') ? 2 : 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section = Lower(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      inSection = true;
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos || !inSection) continue;
    entries.push_back({section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))});
  }
  return entries;
}

// Index of the entry a write of (section, key) changes, or -1.
long Find(const std::vector<Entry>& entries, const std::string& section, const std::string& key) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].section == Lower(section) && Lower(entries[i].key) == Lower(key)) return static_cast<long>(i);
  }
  return -1;
}

bool Writable(const std::string& s, const char* forbidden) {
  if (s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  if (s.find_first_of(forbidden) != std::string::npos) return false;
  return s.empty() || (!Blank(s.front()) && !Blank(s.back()));
}

std::string gPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/oem2sif-profile-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr) abort();
  gPath = std::string(dir) + "/fuzz.ini";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string section = in.ConsumeRandomLengthString(24);
  std::string key = in.ConsumeRandomLengthString(24);
  std::string value = in.ConsumeRandomLengthString(40);
  std::string file = in.ConsumeRemainingBytesAsString();
  if (!Writable(section, "]") || !Writable(key, "=") || key.empty() || key[0] == '[' || key[0] == ';' ||
      key[0] == '#' || !Writable(value, "")) {
    return -1;
  }
  FILE* f = fopen(gPath.c_str(), "wb");
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);
  o2s::WritePrivateProfileStringA(nullptr, nullptr, nullptr, gPath.c_str());

  std::vector<Entry> expected = Entries(file);
  if (o2s::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), gPath.c_str()) == 0) abort();

  char buf[128];
  o2s::GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", buf, sizeof buf, gPath.c_str());
  std::string read = value;
  if (read.size() >= 2 && read.front() == '"' && read.back() == '"') read = read.substr(1, read.size() - 2);
  if (read != buf) abort();

  std::string after;
  f = fopen(gPath.c_str(), "rb");
  for (int c; (c = fgetc(f)) != EOF;) after.push_back(static_cast<char>(c));
  fclose(f);
  std::vector<Entry> now = Entries(after);
  long old = Find(expected, section, key);
  long fresh = Find(now, section, key);
  if (fresh < 0 || now[static_cast<size_t>(fresh)].value != value) abort();
  if (old >= 0) expected.erase(expected.begin() + old);
  now.erase(now.begin() + fresh);
  if (expected.size() != now.size()) abort();
  for (size_t i = 0; i < now.size(); ++i) {
    if (expected[i].section != now[i].section || expected[i].key != now[i].key || expected[i].value != now[i].value) {
      abort();
    }
  }
  return 0;
}
