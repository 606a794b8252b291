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

void PrintConsoleV(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return;
  std::string large;
  const char* text = small;
  if (static_cast<size_t>(length) >= sizeof small) {
    large.resize(static_cast<size_t>(length) + 1);
    vsnprintf(&large[0], large.size(), format, args);
    text = large.data();
  }
  std::wstring wide;
  if (gConsole != nullptr && ToWide(text, static_cast<size_t>(length), &wide)) {
    DWORD written = 0;
    WriteConsoleW(gConsole, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  fwrite(text, 1, static_cast<size_t>(length), stdout);
}

void PrintConsole(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintConsoleV(format, args);
  va_end(args);
}

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

}  // namespace o2s
