// Speed and memory of oem2sif, measured against a floor: the cost of
// writing the whole file to a temporary file and renaming it over, once per
// write, with no parsing at all. The ratio to the floor is the figure that
// counts; absolute times drift from machine to machine.
//
//   oem2sif_bench TOOL [WORKDIR]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Lines of generated setup file for a size in bytes (about 43 bytes a line).
size_t LinesFor(size_t bytes) { return bytes / 43; }

// Replaces `path` with the first `size` bytes of `bytes` (all of them by
// default) through a temporary file and a rename: the floor's one write.
void WriteWhole(const std::string& path, const std::string& bytes, size_t size = std::string::npos) {
  size = std::min(size, bytes.size());
  std::string temp = path + ".floor";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) {
    perror("floor write");
    exit(1);
  }
  close(fd);
  rename(temp.c_str(), path.c_str());
}

// The floor of `writes` writes in `dir`: the file grows evenly from
// `startBytes` to the size of `final`, as the real run's file does.
double FloorSeconds(const std::string& dir, size_t startBytes, const std::string& final, size_t writes) {
  std::string path = dir + "/floor.sif";
  WriteWhole(path, final, startBytes);
  auto start = Clock::now();
  for (size_t i = 0; i < writes; ++i) {
    WriteWhole(path, final, startBytes + (final.size() - startBytes) * (i + 1) / writes);
  }
  double seconds = Seconds(start);
  unlink(path.c_str());
  return seconds;
}

struct PerWrite {
  double microseconds;
  double floorMicroseconds;
};

PerWrite MeasurePerWrite(const std::string& dir, size_t bytes) {
  const std::string content = o2s_test::GenerateSetupFile(LinesFor(bytes));
  std::string path = dir + "/perwrite.sif";
  o2s_test::WriteFile(path, content);
  const int kWrites = 300;
  std::vector<double> ours, floor;
  for (int i = 0; i < kWrites; ++i) {
    char key[64];
    snprintf(key, sizeof key, "PCI\\VEN_BE%02X&DEV_%04X", i % 7, i);
    auto start = Clock::now();
    o2s::WritePrivateProfileStringA("HardwareIdsDatabase", key, "\"benchdrv\"", path.c_str());
    ours.push_back(Seconds(start) * 1e6);
  }
  const std::string grown = o2s_test::ReadFile(path);
  for (int i = 0; i < kWrites; ++i) {
    auto start = Clock::now();
    WriteWhole(path, grown);
    floor.push_back(Seconds(start) * 1e6);
  }
  unlink(path.c_str());
  return {Median(ours), Median(floor)};
}

struct WholeRun {
  double seconds;
  double floorSeconds;
  long maxRssKb;
  size_t fileBytes;
  size_t writes;
};

WholeRun MeasureRun(const std::string& tool, const std::string& workDir, int options, int ids,
                    size_t bytes, int repeats) {
  const std::string oem = o2s_test::GenerateDriverFile(options, ids);
  const std::string sif = o2s_test::GenerateSetupFile(LinesFor(bytes));
  const size_t writes = static_cast<size_t>(options) * (3 + static_cast<size_t>(ids));
  std::vector<double> runs, floors;
  long maxRss = 0;
  for (int r = 0; r < repeats; ++r) {
    std::string dir = workDir + "/run";
    system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    o2s_test::WriteFile(dir + "/txtsetup.oem", oem);
    o2s_test::WriteFile(dir + "/txtsetup.sif", sif);
    std::string inputPath = workDir + "/input";
    o2s_test::WriteFile(inputPath, "1\n");
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      int input = open(inputPath.c_str(), O_RDONLY);
      int null = open("/dev/null", O_WRONLY);
      dup2(input, 0);
      dup2(null, 1);
      if (chdir(dir.c_str()) != 0) _exit(126);
      execl(tool.c_str(), tool.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "the tool failed (status %d)\n", status);
      exit(1);
    }
    runs.push_back(Seconds(start));
    maxRss = std::max(maxRss, usage.ru_maxrss);
    const std::string final = o2s_test::ReadFile(dir + "/txtsetup.sif");
    floors.push_back(FloorSeconds(dir, sif.size(), final, writes));
  }
  return {Median(runs), Median(floors), maxRss, sif.size(), writes};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s TOOL [WORKDIR]\n", argv[0]);
    return 2;
  }
  char resolved[4096];
  if (realpath(argv[1], resolved) == nullptr) {
    perror(argv[1]);
    return 2;
  }
  std::string tool = resolved;
  std::string workDir = argc > 2 ? argv[2] : ".";

  printf("| measure | oem2sif | floor | ratio |\n|---|---|---|---|\n");
  for (size_t bytes : {300u * 1000, 1000u * 1000}) {
    PerWrite w = MeasurePerWrite(workDir, bytes);
    printf("| one write, %.1f MB file (median) | %.0f us | %.0f us | %.2f |\n", bytes / 1e6, w.microseconds,
           w.floorMicroseconds, w.microseconds / w.floorMicroseconds);
    fflush(stdout);
  }
  WholeRun typical = MeasureRun(tool, workDir, 10, 8, 500 * 1000, 5);
  printf("| typical run: 10 options x 8 ids, %.1f MB, %zu writes | %.3f s | %.3f s | %.2f |\n",
         typical.fileBytes / 1e6, typical.writes, typical.seconds, typical.floorSeconds,
         typical.seconds / typical.floorSeconds);
  fflush(stdout);
  WholeRun heavy = MeasureRun(tool, workDir, 40, 100, 1000 * 1000, 3);
  printf("| heavy run: 40 options x 100 ids, %.1f MB, %zu writes | %.3f s | %.3f s | %.2f |\n",
         heavy.fileBytes / 1e6, heavy.writes, heavy.seconds, heavy.floorSeconds,
         heavy.seconds / heavy.floorSeconds);
  double limitMb = 3 * heavy.fileBytes / 1e6 + 8;
  printf("\npeak memory of the heavy run: %.1f MB (goal: at most %.1f MB, 3 x file + 8 MB)\n",
         heavy.maxRssKb / 1024.0, limitMb);
  return 0;
}
