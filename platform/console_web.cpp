// The console in a web page. The tool runs in a worker of the page, which
// passes on the code page 932 bytes (the page decodes them) and the answers
// of the page's buttons and keys; a read waits for the next one (Asyncify).
// Ending the process ends the run, and the page shows the results. The page
// also hears of each profile write, to list the driver files a run names and
// to tell which runs wrote the same entries (the key also as the engine
// compares it).
#include <emscripten.h>
#include <stdlib.h>

#include <string>

#include "platform/ascii_case.h"
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

EM_JS(void, SendProfileWrite, (const char* section, const char* key, const char* keyMatch,
                               const char* value), {
  const bytes = (at) => {
    let end = at;
    while (HEAPU8[end]) end++;
    return HEAPU8.slice(at, end);
  };
  Module["onProfileWrite"](bytes(section), bytes(key), bytes(value), bytes(keyMatch));
});
// clang-format on

namespace o2s {
namespace {

void ReportProfileWrite(const char* section, const char* key, const char* value,
                        const char*) {
  std::string keyMatch(key);
  for (char& c : keyMatch) c = LowerAscii(c);
  SendProfileWrite(section, key, keyMatch.c_str(), value);
}

}  // namespace

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
