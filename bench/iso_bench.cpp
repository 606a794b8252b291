// Speed and memory of oem2sif-integrate --iso on a CD-sized image, against
// its floor: cp of the same image (the tool copies every byte, then
// patches some sectors and appends a few). Goals: at most 1.3 x cp's time,
// and a peak resident memory under 64 MB, whatever the image's size. The
// tool flushes the new image to the disk before it renames it into place
// (never a torn image after a crash), which cp does not: the second floor
// is cp followed by sync of the copy.
//
//   iso_bench INTEGRATE_TOOL WORKDIR [MEGABYTES]   (default 700)
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

#include "check/pe_image.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timed {
  double seconds = 0;
  long maxRssKb = 0;
  int status = -1;
};

// Runs argv, standard output to /dev/null; its time and peak memory.
Timed Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  Timed timed;
  struct rusage usage;
  int status = 0;
  wait4(pid, &status, 0, &usage);
  timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  timed.maxRssKb = usage.ru_maxrss;
  timed.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return timed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s INTEGRATE_TOOL WORKDIR [MEGABYTES]\n", argv[0]);
    return 2;
  }
  std::string tool = argv[1], work = argv[2];
  unsigned long megabytes = argc > 3 ? strtoul(argv[3], nullptr, 10) : 700;
  if (system("command -v genisoimage >/dev/null") != 0) {
    printf("iso: skipped: genisoimage is not installed (tools/install-deps.sh --tests)\n");
    return 0;
  }
  // The CD: I386 with its setup files and a few thousand small files, and
  // one big file that makes up the size (bytes that do not compress, so no
  // file system keeps them sparse).
  std::string cd = work + "/cd";
  o2s_test::XpSetupFile xp;
  if (system(("mkdir -p " + cd + "/I386 " + work + "/drv/i386/win2003").c_str()) != 0) return 1;
  o2s_test::WriteFile(cd + "/I386/TXTSETUP.SIF", o2s_test::GenerateXpSetupFile(xp));
  o2s_test::WriteFile(cd + "/I386/DOSNET.INF", o2s_test::MakeDosnet({}, {}));
  o2s_test::WriteFile(cd + "/I386/NTOSKRNL.EXE", o2s_test::MakeDriverImage(o2s::kMachineX86, {}));
  for (int i = 0; i < 3000; ++i) o2s_test::WriteFile(cd + "/I386/F" + std::to_string(i) + ".DL_", "file");
  {
    FILE* big = fopen((cd + "/BIG.CAB").c_str(), "wb");
    std::vector<unsigned> block(1 << 18);
    unsigned state = 12345;
    for (unsigned long m = 0; m < megabytes; ++m) {
      for (unsigned& word : block) word = state = state * 1103515245u + 12345u;
      fwrite(block.data(), sizeof(unsigned), block.size(), big);
    }
    fclose(big);
  }
  o2s_test::WriteFile(work + "/drv/txtsetup.oem", o2s_test::kVirtioOem);
  o2s_test::WriteFile(work + "/drv/i386/win2003/viostor.sys", o2s_test::MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
  std::string in = work + "/in.iso";
  if (system(("genisoimage -quiet -iso-level 2 -N -J -o " + in + " " + cd + " 2>/dev/null").c_str()) != 0) {
    printf("iso: genisoimage failed\n");
    return 1;
  }
  if (system(("rm -rf " + cd).c_str()) != 0) return 1;
  std::vector<double> copies, synced, runs;
  long peakKb = 0;
  for (int i = 0; i < 3; ++i) {
    copies.push_back(Run({"cp", in, work + "/copy.iso"}).seconds);
    unlink((work + "/copy.iso").c_str());
    synced.push_back(Run({"sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\"", in, work + "/copy.iso"}).seconds);
    Timed run = Run({tool, "--iso", in, "--output", work + "/out.iso", work + "/drv"});
    if (run.status != 0 && run.status != 1) {  // 1: written, with the check's findings
      printf("iso: oem2sif-integrate ended with %d\n", run.status);
      return 1;
    }
    runs.push_back(run.seconds);
    peakKb = std::max(peakKb, run.maxRssKb);
    unlink((work + "/copy.iso").c_str());
    unlink((work + "/out.iso").c_str());
  }
  printf("| measure | oem2sif-integrate --iso | cp | ratio |\n|---|---|---|---|\n");
  printf("| a %lu MB image (median of 3) | %.3f s | %.3f s | %.2f (goal: at most 1.30) |\n", megabytes, Median(runs),
         Median(copies), Median(runs) / Median(copies));
  printf("| the same, against cp and sync | %.3f s | %.3f s | %.2f |\n", Median(runs), Median(synced),
         Median(runs) / Median(synced));
  printf("\npeak memory of oem2sif-integrate --iso: %.1f MB (goal: under 64 MB)\n", peakKb / 1024.0);
  unlink(in.c_str());
  return 0;
}
