// The console on POSIX systems. Message texts are code page 932 bytes; they
// go out unchanged unless standard output is a terminal with another
// charset, which then gets the whole text converted.
#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "platform/console_output.h"
#include "platform/platform.h"

namespace o2s {
namespace {

iconv_t gConverter = reinterpret_cast<iconv_t>(-1);

bool IsShiftJisCharset(const char* name) {
  static const char* const kNames[] = {"CP932",     "SHIFT_JIS",   "SHIFT-JIS",
                                       "SJIS",      "WINDOWS-31J", "MS_KANJI",
                                       "IBM-943",   "IBM943"};
  for (const char* known : kNames) {
    if (strcasecmp(name, known) == 0) return true;
  }
  return false;
}

// The charset a locale's name gives ("ja_JP.UTF-8": UTF-8) where the
// system lacks that locale (a container with C.UTF-8 alone); the C
// locale's where the name gives none.
const char* CharsetOfLocaleName() {
  static char charset[64];
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(name);
    if (value == nullptr || value[0] == '\0') continue;
    const char* dot = strchr(value, '.');
    if (dot == nullptr) break;
    size_t length = strcspn(dot + 1, "@");
    if (length == 0 || length >= sizeof charset) break;
    memcpy(charset, dot + 1, length);
    charset[length] = '\0';
    return charset;
  }
  return nl_langinfo(CODESET);
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc); }

void WriteConverted(const char* bytes, size_t size) {
  std::string out;
  char chunk[1024];
  char* in = const_cast<char*>(bytes);
  size_t left = size;
  iconv(gConverter, nullptr, nullptr, nullptr, nullptr);
  while (left > 0) {
    char* dst = chunk;
    size_t room = sizeof chunk;
    size_t rc = iconv(gConverter, &in, &left, &dst, &room);
    out.append(chunk, static_cast<size_t>(dst - chunk));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // Not representable in this charset (or not code page 932): one '?'
      // for the whole character, so no trail byte shows as a stray letter.
      size_t width = IsLeadByte(static_cast<unsigned char>(*in)) && left > 1 ? 2 : 1;
      out.push_back('?');
      in += width;
      left -= width;
    }
  }
  char* dst = chunk;
  size_t room = sizeof chunk;
  iconv(gConverter, nullptr, nullptr, &dst, &room);
  out.append(chunk, static_cast<size_t>(dst - chunk));
  fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

void StartConsole() {
  static char buffer[1 << 16];
  if (isatty(STDOUT_FILENO)) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const char* charset = setlocale(LC_CTYPE, "") != nullptr ? nl_langinfo(CODESET) : CharsetOfLocaleName();
    if (charset != nullptr && !IsShiftJisCharset(charset)) {
      gConverter = iconv_open(charset, "CP932");
    }
  } else {
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  }
}

Language UserLanguage() {
  return LanguageOfLocale(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"));
}

void WriteConsoleText(const char* text, size_t length) {
  if (gConverter != reinterpret_cast<iconv_t>(-1)) {
    WriteConverted(text, length);
  } else {
    fwrite(text, 1, length, stdout);
  }
}

}  // namespace o2s
