// Helpers shared by the tests: scratch folders, file bytes, code page 932
// conversion and running the built tool as a process.
#ifndef OEM2SIF_TESTS_SUPPORT_TEST_SUPPORT_H
#define OEM2SIF_TESTS_SUPPORT_TEST_SUPPORT_H

#include <string>
#include <vector>

namespace o2s_test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
// Writes `bytes` at `path` below `root`, making its folders.
void Put(const ScratchDir& root, const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);  // "" when missing
bool FileExists(const std::string& path);       // also a dangling link
std::vector<std::string> ListDir(const std::string& dir);  // sorted names

// The CR LF-ended lines of `text`, without their line ends; what follows the
// last CR LF is left out.
std::vector<std::string> SplitCrLfLines(const std::string& text);

// A byte that cannot be converted comes out as the text \xNN.
std::string Utf8ToCp932(const std::string& utf8);
std::string Cp932ToUtf8(const std::string& cp932);

struct ProcessResult {
  std::string out;  // standard output, bytes
  int status = -1;  // exit status, or 128 + signal
};

// Runs `program` in `dir` with `input` on standard input (then closed) and
// `args`. With `asUser` the process runs as that user (needs root).
ProcessResult RunProcess(const std::string& program, const std::string& dir,
                         const std::string& input,
                         const std::vector<std::string>& args = {},
                         const std::string& asUser = "");

// Runs `program` in `dir` with its standard output on a terminal (input from
// `input`, not a terminal) under the locale `lang` (LANG; LC_ALL, LC_CTYPE
// and LC_MESSAGES unset) with `args`; returns what the terminal showed.
ProcessResult RunOnTerminal(const std::string& program, const std::string& dir,
                            const std::string& input, const std::string& lang,
                            const std::vector<std::string>& args = {});

// The tool under test: the built one, or the one named by the environment
// variable OEM2SIF_TOOL (a Windows .exe runs under the Wine loader named by
// OEM2SIF_WINE, default "wine").
std::string ToolPath();
bool ToolIsWindowsExe();
// Console text as the tool under test writes it: on Windows each line feed
// goes out as CR LF.
std::string ConsoleText(const std::string& text);
std::string CorpusDir();
std::vector<std::string> CorpusFiles();  // sorted names of *.oem / *.OEM

}  // namespace o2s_test

#endif
