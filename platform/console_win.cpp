// The console on Windows. Standard output and input are in text mode (a
// line feed goes out as CR LF; CR is dropped on input). On a console the
// code page 932 text is shown through WriteConsoleW, so it reads right
// whatever the console's own code page; redirected output gets the bytes as
// they are.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console_output.h"
#include "platform/platform.h"

namespace o2s {
namespace {

HANDLE gConsole = nullptr;  // standard output when it is a console

// Code page 932 to UTF-16; false when this system lacks the code page.
bool ToWide(const char* bytes, size_t size, std::wstring* out) {
  if (size == 0) return true;
  int length = MultiByteToWideChar(932, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (length <= 0) return false;
  out->resize(static_cast<size_t>(length));
  return MultiByteToWideChar(932, 0, bytes, static_cast<int>(size), &(*out)[0], length) == length;
}

}  // namespace

Language UserLanguage() {
  if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE) return Language::kJapanese;
  return GetConsoleOutputCP() == 932 ? Language::kJapanese : Language::kEnglish;
}

void StartConsole() {
  static char buffer[1 << 16];
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode)) {
    gConsole = output;
    setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  }
}

void WriteConsoleText(const char* text, size_t length) {
  std::wstring wide;
  if (gConsole != nullptr && ToWide(text, length, &wide)) {
    DWORD written = 0;
    WriteConsoleW(gConsole, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  fwrite(text, 1, length, stdout);
}

}  // namespace o2s
