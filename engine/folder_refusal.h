// Whether the results of a chain of runs may be written into a folder the
// user picked to write them into. The results are a txtsetup.sif the runs
// wrote on top of one they started from: written over any other, they
// would lose what is in it. So the folder's txtsetup.sif must be one the
// runs started from or the one they left; where it is not, the refusal
// tells the user why, as well as the folder's files tell it.
#ifndef OEM2SIF_ENGINE_FOLDER_REFUSAL_H
#define OEM2SIF_ENGINE_FOLDER_REFUSAL_H

#include <string>
#include <vector>

namespace o2s::engine {

enum class FolderRefusal {
  kNone,            // its txtsetup.sif is one the runs started from, or their result
  kChangedSince,    // the picked folder, its txtsetup.sif changed since it was picked
  kOtherFolder,     // another setup folder
  kOtherOrChanged,  // either: the picked folder's files are not known
};

struct FolderToWrite {
  // The folder's txtsetup.sif and txtsetup.sif.orig, null where it has none.
  const std::string* setupFile = nullptr;
  const std::string* setupBackup = nullptr;
  // Its file names, in any letter case.
  std::vector<std::string> names;
};

struct ChainResults {
  // The txtsetup.sif each set of runs started from, and the one they left.
  std::vector<std::string> setupFiles;
  // The picked txtsetup.sif when the chain began.
  std::string original;
  // The picked setup folder's file names, in any letter case; none where
  // its files were picked one by one (not known then).
  std::vector<std::string> pickedNames;
  // The files the results bring into the setup folder (driver and support
  // files), by their names there.
  std::vector<std::string> brought;
};

// Why `folder` is refused (kNone: it is not). Its txtsetup.sif is the
// picked one changed since where its backup is the picked original, or
// where its names are the picked folder's (SameListing).
FolderRefusal RefusalOf(const FolderToWrite& folder, const ChainResults& results);

// Whether `names` are the picked folder's (`pickedNames`), leaving out the
// setup's own files (check/setup_names.h) and the files brought (plain or
// compressed), with a few come or gone (an editor's backup of
// txtsetup.sif): at most two, or one in a hundred of the picked folder's.
// kUnknown where the picked names are not known (none given).
enum class Listing { kSame, kOther, kUnknown };
Listing SameListing(const std::vector<std::string>& pickedNames, const std::vector<std::string>& names,
                    const std::vector<std::string>& brought);

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_FOLDER_REFUSAL_H
