#include "check/setup_names.h"

#include <cstring>

#include "check/text_lines.h"

namespace o2s {

bool IsPlainFileName(const char* name, size_t length) {
  if (length == 0) return false;
  if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.')) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
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
