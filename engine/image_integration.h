// Writing drivers into an ISO image's setup folder, decided in one place
// for oem2sif-integrate --iso and the page: which folder is the setup
// folder, which of its files the engine must see (taken out into a
// scratch folder), the plan over them, the files it writes, the image's
// update (iso/iso_update.h) and the check of the result. Nothing is
// printed and the process never ends here: every stop is a value.
//
// The image is read only through an iso::ImageReader. One that fetches
// asynchronously (iso/range_cache_reader.h) lacks bytes at first: any step
// then stops with kNeedRanges; the caller fetches what the reader records,
// and calls again from the top with fresh, empty scratch folders. Every
// step reads the image the same way each time, so a rerun over a bigger
// cache gets further, and ends as a run over the whole file does.
#ifndef OEM2SIF_ENGINE_IMAGE_INTEGRATION_H
#define OEM2SIF_ENGINE_IMAGE_INTEGRATION_H

#include <map>
#include <string>
#include <vector>

#include "check/check.h"
#include "engine/apply.h"
#include "engine/survey.h"
#include "iso/iso_image.h"
#include "iso/iso_update.h"

namespace o2s::engine {

enum class ImageStop {
  kNone,
  kNeedRanges,     // the reader lacks bytes (ImageReader::Lacking): fetch them, call again
  kImageRefused,   // the image, or a file of it the engine needs: problem, subject
  kNoSetupFolder,  // no folder of the image holds a TXTSETUP.SIF
  kScratchFailed,  // subject: the scratch folder or file
  kUnusable,       // the survey: the setup file or a driver folder cannot be used (see survey)
  kNoVersion,      // the Windows version can be told neither from the image nor from the request
  kNothingTicked,  // no option to write
  kApplyFailed,    // applied.failure and applied.subject say
  kUpdateRefused,  // the image cannot take the files (PlanUpdate): problem, subject
};

// Bytes of an image's file taken out at most: far more than any setup or
// driver file.
const uint64_t kMaxTakenFile = 64u << 20;
// Names of the driver folders' files looked at at most.
const size_t kMaxDriverNames = 100000;

// The image's setup folder, with the files the engine reads taken out.
struct ImageSource {
  ImageStop stop = ImageStop::kNone;
  iso::IsoProblem problem = iso::IsoProblem::kNone;
  std::string subject;
  iso::Image image;
  int setupFolder = -1;           // index into image.iso.directories; set as soon as chosen
  std::vector<int> setupFolders;  // every folder holding a TXTSETUP.SIF
  std::string shownFolder;        // "/I386": the setup folder as messages name it
  std::vector<iso::Record> records;      // the setup folder's
  std::vector<std::string> takenNames;   // the files taken out, as the image names them
  SurveyInput input;  // over the taken folder; ticks are the caller's to set
};

// Reads the image, chooses its setup folder and takes out into `takenFolder`
// (an empty folder) txtsetup.sif, dosnet.inf, their .orig, every file named
// as a driver folder's file (plain or compressed), then, after a silent
// survey, every file the drivers' options name that the image holds.
ImageSource OpenImageSource(iso::ImageReader& reader, const std::vector<std::string>& driverFolders,
                            unsigned windows, const std::string& takenFolder);

// Where the plan's files are written and where they are checked: empty
// folders the caller made.
struct ImageFolders {
  std::string written;
  std::string checked;
};

struct ImageResult {
  ImageStop stop = ImageStop::kNone;
  iso::IsoProblem problem = iso::IsoProblem::kNone;
  std::string subject;
  ApplyOutcome applied;
  std::vector<iso::NewFile> files;  // what landed, in name order (any letter case)
  iso::Update update;               // planned when files is not empty
  bool checked = false;             // the check ran to its end
  CheckResult check{};              // its findings in the caller's array
};

// Carries `plan` (made over source.input) out into folders.written, plans
// the image's update from exactly the files that landed, and checks the
// setup folder: the taken files with the written ones over them. A driver,
// import, INF or file an INF copies that the check misses and the image
// holds is taken out and the check runs again (three rounds: a driver or
// INF, then what it needs), then once more for the findings.
ImageResult IntegrateIntoImage(iso::ImageReader& reader, const ImageSource& source, const IntegrationPlan& plan,
                               const ImageFolders& folders, CheckWorkspace* workspace, Finding* findings,
                               unsigned capacity);

// The whole of it, for a caller that prints nothing between the steps (the
// page, the tests): OpenImageSource, the survey with `ticks`, the plan,
// IntegrateIntoImage. Makes its scratch folders and removes them.
struct ImageRun {
  ImageSource source;
  Survey survey;
  IntegrationPlan plan;
  ImageResult result;  // its stop is the run's, whichever step stopped
};
ImageRun IntegrateImage(iso::ImageReader& reader, const std::vector<std::string>& driverFolders, unsigned windows,
                        const std::map<unsigned, std::map<unsigned, bool>>& ticks, CheckWorkspace* workspace,
                        Finding* findings, unsigned capacity);

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_IMAGE_INTEGRATION_H
