#include "check/setup_names.h"

#include <cstring>

#include "check/text_lines.h"

namespace o2s {
namespace {

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension: on Windows these
// open a device, never a file of the folder.
bool IsDeviceName(const char* name, size_t length) {
  const char* dot = static_cast<const char*>(memchr(name, '.', length));
  size_t stem = dot != nullptr ? static_cast<size_t>(dot - name) : length;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kDevices) {
    if (EqualNoCase(name, stem, device)) return true;
  }
  if (stem == 4 && (EqualNoCase(name, 3, "COM") || EqualNoCase(name, 3, "LPT"))) {
    return name[3] >= '1' && name[3] <= '9';
  }
  return false;
}

}  // namespace

bool IsPlainFileName(const char* name, size_t length) {
  if (length == 0) return false;
  // Windows drops trailing dots and spaces ("txtsetup.sif." opens
  // txtsetup.sif), and "." and ".." are no files.
  if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7f || strchr("/\\:*?\"<>|", c) != nullptr) return false;
  }
  return !IsDeviceName(name, length);
}

bool IsSetupOwnFile(const char* name, size_t length) {
  static const char* const kOwn[] = {"txtsetup.sif", "dosnet.inf", "txtsetup.sif.orig", "dosnet.inf.orig",
                                     "txtsetup.sif.temp"};
  for (const char* own : kOwn) {
    size_t ownLength = strlen(own);
    if (EqualNoCase(name, length, own, ownLength)) return true;
    // Setup's compressed name: the extension's last letter made '_'
    // (txtsetup.si_, txtsetup.sif.ori_).
    if (length == ownLength && EqualNoCase(name, length - 1, own, ownLength - 1) && name[length - 1] == '_') {
      return true;
    }
  }
  return false;
}

}  // namespace o2s
