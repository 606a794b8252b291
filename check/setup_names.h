// The names of a setup folder's own files, as setup takes them. One rule
// for the check, the page and the tests.
#ifndef OEM2SIF_CHECK_SETUP_NAMES_H
#define OEM2SIF_CHECK_SETUP_NAMES_H

#include <cstddef>

namespace o2s {

// True for a name setup can take as one file of the setup folder: not
// empty, no '/', '\\' or ':', not "." or "..", no byte below 0x20.
bool IsPlainFileName(const char* name, size_t length);

// True for the files an integration keeps for itself, in any ASCII letter
// case, plain or as setup's compressed name: txtsetup.sif, dosnet.inf,
// their backups (txtsetup.sif.orig, dosnet.inf.orig) and the tool's
// temporary txtsetup.sif.temp.
bool IsSetupOwnFile(const char* name, size_t length);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_SETUP_NAMES_H
