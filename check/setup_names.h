// The names of a setup folder's own files, as setup takes them. One rule
// for the check, the page and the tests.
#ifndef OEM2SIF_CHECK_SETUP_NAMES_H
#define OEM2SIF_CHECK_SETUP_NAMES_H

#include <cstddef>

namespace o2s {

// True for a name that can only be one file of the setup folder, on every
// system: not empty, no byte below 0x20 nor 0x7F, none of / \ : * ? " < > |,
// no trailing dot or space (so not "." or ".."), not a Windows device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any extension).
bool IsPlainFileName(const char* name, size_t length);

// True for the files an integration keeps for itself, in any ASCII letter
// case, plain or as setup's compressed name: txtsetup.sif, dosnet.inf,
// their backups (txtsetup.sif.orig, dosnet.inf.orig) and the tool's
// temporary txtsetup.sif.temp.
bool IsSetupOwnFile(const char* name, size_t length);

}  // namespace o2s

#endif  // OEM2SIF_CHECK_SETUP_NAMES_H
