// The languages the tool's texts come in: Japanese in code page 932, as the
// console tool prints them, and English in ASCII.
#ifndef OEM2SIF_CHECK_LANGUAGE_H
#define OEM2SIF_CHECK_LANGUAGE_H

namespace o2s {

enum class Language { kJapanese, kEnglish };

}  // namespace o2s

#endif  // OEM2SIF_CHECK_LANGUAGE_H
