// The console in a web page's module. The page shows the engine's runs
// (engine/apply.h), never the tool's own dialogue: there is nothing to read
// from, and a read ends the input. What is printed outside a run (a
// driver's reading) goes to the worker as code page 932 bytes (the page
// decodes them).
#include <emscripten.h>
#include <stdio.h>
#include <stdlib.h>

#include "platform/console_output.h"
#include "platform/platform.h"

// clang-format off
EM_JS(void, SendConsoleBytes, (const char* text, size_t length), {
  Module["onConsoleBytes"](HEAPU8.slice(text, text + length));
});

// One character of code page 932 by the browser's table (the WHATWG
// Shift_JIS decoder, which is Windows' code page 932): its code point, or 0.
EM_JS(unsigned, DecodeShiftJisPair, (unsigned lead, unsigned trail), {
  if (!Module["shiftJisDecoder"]) Module["shiftJisDecoder"] = new TextDecoder("shift_jis", { fatal: true });
  try {
    const text = Module["shiftJisDecoder"].decode(new Uint8Array([lead, trail]));
    const codePoint = text.codePointAt(0);
    return text.length === (codePoint > 0xffff ? 2 : 1) ? codePoint : 0;
  } catch (e) {
    return 0;
  }
});
// clang-format on

namespace o2s {

Language UserLanguage() { return Language::kEnglish; }

void StartConsole() {}

void WriteConsoleText(const char* text, size_t length) { SendConsoleBytes(text, length); }

unsigned DecodeCp932Pair(unsigned char lead, unsigned char trail) { return DecodeShiftJisPair(lead, trail); }

int ReadConsoleChar() { return EOF; }

void EndProcess(int status) { exit(status); }

}  // namespace o2s
