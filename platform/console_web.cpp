// The console in a web page. The page shows the code page 932 bytes (it
// decodes them itself) and gives the answers of its buttons and keys; a read
// waits for the next one without blocking the page (Asyncify). Ending the
// process ends this instance of the module, and the page shows the results.
#include <emscripten.h>
#include <stdlib.h>

#include "platform/console_output.h"
#include "platform/platform.h"

// clang-format off
EM_JS(void, SendConsoleBytes, (const char* text, size_t length), {
  Module["onConsoleBytes"](HEAPU8.slice(text, text + length));
});

EM_ASYNC_JS(int, AwaitConsoleChar, (), {
  return await Module["readConsoleChar"]();
});
// clang-format on

namespace o2s {

void StartConsole() {}

void WriteConsoleText(const char* text, size_t length) { SendConsoleBytes(text, length); }

int ReadConsoleChar() {
  for (;;) {
    int c = AwaitConsoleChar();
    if (c != '\r') return c;
  }
}

void EndProcess(int status) { exit(status); }

}  // namespace o2s
