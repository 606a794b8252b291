// The console in a web page. The tool runs in a worker of the page, which
// passes on the code page 932 bytes (the page decodes them) and the answers
// of the page's buttons and keys; a read waits for the next one (Asyncify).
// Ending the process ends the run, and the page shows the results. The page
// also hears that a profile write landed, to tell the options a run wrote
// from those it refused.
#include <emscripten.h>
#include <stdlib.h>

#include "platform/console_output.h"
#include "platform/platform.h"
#include "platform/profile_lines.h"

// clang-format off
EM_JS(void, SendConsoleBytes, (const char* text, size_t length), {
  Module["onConsoleBytes"](HEAPU8.slice(text, text + length));
});

EM_ASYNC_JS(int, AwaitConsoleChar, (), {
  return await Module["readConsoleChar"]();
});

// Only that a write landed: what the run wrote, the page knows from the
// option it was told of before (web/driver_web.cpp).
EM_JS(void, SendProfileWrite, (), {
  Module["onProfileWrite"]();
});
// clang-format on

namespace o2s {
namespace {

void ReportProfileWrite(const char*, const char*, const char*, const char*) { SendProfileWrite(); }

}  // namespace

Language UserLanguage() { return Language::kEnglish; }

void StartConsole() { SetProfileWriteObserver(ReportProfileWrite); }

void WriteConsoleText(const char* text, size_t length) { SendConsoleBytes(text, length); }

int ReadConsoleChar() {
  for (;;) {
    int c = AwaitConsoleChar();
    if (c != '\r') return c;
  }
}

void EndProcess(int status) { exit(status); }

}  // namespace o2s
