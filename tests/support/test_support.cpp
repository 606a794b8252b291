#include "tests/support/test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <grp.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace o2s_test {
namespace {

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    chmod(path.c_str(), 0755);
    for (const std::string& name : ListDir(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

// A byte that cannot be converted becomes the text \xNN.
std::string Convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  std::string out;
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char chunk[256];
    char* dst = chunk;
    size_t room = sizeof chunk;
    bool stuck = iconv(cd, &in, &inLeft, &dst, &room) == static_cast<size_t>(-1) && errno != E2BIG;
    out.append(chunk, static_cast<size_t>(dst - chunk));
    if (!stuck) continue;
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(*in++));
    out += hex;
    --inLeft;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

ScratchDir::ScratchDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/oem2sif-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = buf.data();
  chmod(path_.c_str(), 0777);  // other users (nobody) may run the tool here
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

void Put(const ScratchDir& root, const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(root / path).parent_path());
  WriteFile(root / path, bytes);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  return lines;
}

std::string Utf8ToCp932(const std::string& utf8) { return Convert(utf8, "CP932", "UTF-8"); }
std::string Cp932ToUtf8(const std::string& cp932) { return Convert(cp932, "UTF-8", "CP932"); }

ProcessResult RunProcess(const std::string& program, const std::string& dir,
                         const std::string& input,
                         const std::vector<std::string>& args,
                         const std::string& asUser) {
  std::string inPath = dir + "/../" + std::string(basename(const_cast<char*>(dir.c_str()))) + ".stdin";
  std::string outPath = inPath.substr(0, inPath.size() - 6) + ".stdout";
  WriteFile(inPath, input);
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(inPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(dir.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    if (!asUser.empty()) {
      struct passwd* pw = getpwnam(asUser.c_str());
      if (pw == nullptr || setgroups(0, nullptr) != 0 || setgid(pw->pw_gid) != 0 ||
          setuid(pw->pw_uid) != 0) {
        _exit(125);
      }
    }
    std::vector<char*> argv;
    bool underWine = program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
    const char* wine = getenv("OEM2SIF_WINE");
    if (underWine) {
      argv.push_back(const_cast<char*>(wine != nullptr && *wine ? wine : "wine"));
      setenv("WINEDEBUG", "-all", 1);
    }
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  ProcessResult result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  unlink(inPath.c_str());
  unlink(outPath.c_str());
  return result;
}

ProcessResult RunOnTerminal(const std::string& program, const std::string& dir,
                            const std::string& input, const std::string& lang,
                            const std::vector<std::string>& args) {
  std::string inPath = dir + ".stdin";
  WriteFile(inPath, input);
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(inPath.c_str(), O_RDONLY);
    if (in < 0 || chdir(dir.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(slave, 1);
    close(master);
    setenv("LANG", lang.c_str(), 1);
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    unsetenv("LC_MESSAGES");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(slave);
  ProcessResult result;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master, buf, sizeof buf);
    if (n > 0) {
      result.out.append(buf, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the tool has ended
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  unlink(inPath.c_str());
  return result;
}

std::string ToolPath() {
  const char* chosen = getenv("OEM2SIF_TOOL");
  return chosen != nullptr && *chosen ? chosen : OEM2SIF_TOOL_PATH;
}

bool ToolIsWindowsExe() {
  std::string tool = ToolPath();
  return tool.size() > 4 && tool.compare(tool.size() - 4, 4, ".exe") == 0;
}

std::string ConsoleText(const std::string& text) {
  if (!ToolIsWindowsExe()) return text;
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}
std::string CorpusDir() { return OEM2SIF_CORPUS_DIR; }

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const std::string& name : ListDir(CorpusDir())) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".oem") == 0) files.push_back(name);
  }
  return files;
}

}  // namespace o2s_test
