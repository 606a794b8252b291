// What an integration of drivers into a setup folder does, decided before
// anything is written. The survey decides it (what the page and
// oem2sif-integrate show the user); ApplyPlan (engine/apply.h) carries it
// out. The page and the native command carry out one plan, with one code.
#ifndef OEM2SIF_ENGINE_PLAN_H
#define OEM2SIF_ENGINE_PLAN_H

#include <string>
#include <vector>

namespace o2s::engine {

// The answer to the tool's menu: the entries written for Windows 2000 or XP
// (a Server 2003 source takes XP's).
enum class WindowsTarget { k2000 = 1, kXp = 2 };

// A file a driver brings into the setup folder: found at `source` (a path
// below the driver's folder, as the survey found it: the folder its disk's
// [Disks] entry names, else beside txtsetup.oem), written as `name` (its
// own name there: plain, or compressed as setup names it, viostor.sy_).
struct BroughtFile {
  std::string source;
  std::string name;
  // A file for GUI-mode setup (an INF, its catalog, what it copies), not a
  // driver file the tool names: dosnet.inf's [Files] gets it, and
  // txtsetup.sif's [SourceDisksFiles] a row "name = value" where `value`
  // is not empty.
  bool support = false;
  std::string value{};
  std::string listed{};  // the plain name rows name it by (setup finds its compressed name too)
};

// One run of the tool: the driver's txtsetup.oem with only the options at
// `keptOptions` (indices in the order the tool lists them) left in its
// [scsi] section, every other byte the same; all of them when
// `allOptions` (the file as it is).
struct DriverRun {
  std::string driverFolder;  // the folder that holds txtsetup.oem
  std::string oemFile;       // its name there, in its own letter case
  bool allOptions = true;
  std::vector<unsigned> keptOptions;
  std::vector<BroughtFile> files;
};

// The runs in order: each continues on the txtsetup.sif the one before
// left, as the page chains them. Of two brought files of one name (any
// letter case), the later run's is written, as its entries stand.
struct IntegrationPlan {
  std::string setupFolder;  // the folder that holds txtsetup.sif
  std::string setupFile;    // its name there, in its own letter case
  WindowsTarget windows = WindowsTarget::kXp;
  std::vector<DriverRun> runs;
};

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_PLAN_H
