// The console operations that are the same on every system: formatting,
// reading one character, ending the process.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console_output.h"
#include "platform/platform.h"

namespace o2s {
namespace {

ConsoleSink gSink = nullptr;
void* gSinkContext = nullptr;

void WriteText(const char* text, size_t length) {
  if (gSink != nullptr) {
    gSink(gSinkContext, text, length);
  } else {
    WriteConsoleText(text, length);
  }
}

}  // namespace

void SetConsoleSink(ConsoleSink sink, void* context) {
  gSink = sink;
  gSinkContext = context;
}

void PrintConsoleV(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof small) {
    WriteText(small, static_cast<size_t>(length));
    return;
  }
  std::string large(static_cast<size_t>(length) + 1, '\0');
  vsnprintf(&large[0], large.size(), format, args);
  WriteText(large.data(), static_cast<size_t>(length));
}

void PrintConsole(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintConsoleV(format, args);
  va_end(args);
}

Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value == nullptr || value[0] == '\0') continue;
    return value[0] == 'j' && value[1] == 'a' ? Language::kJapanese : Language::kEnglish;
  }
  return Language::kEnglish;
}

#ifndef __EMSCRIPTEN__  // the page has its own input and end
int ReadConsoleChar() {
  for (;;) {
    int c = getchar();
    if (c == EOF) return -1;
    if (c != '\r') return c;
  }
}

void EndProcess(int status) {
  fflush(stdout);
  exit(status);
}
#endif

}  // namespace o2s
