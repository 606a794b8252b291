// The page's texts as the engine's exports take them, read in one place.
#ifndef OEM2SIF_WEB_PAGE_INPUT_H
#define OEM2SIF_WEB_PAGE_INPUT_H

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

// The lines of `text` (line feeds between), empty lines left out.
inline std::vector<std::string> LinesOf(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* at = text;; ++at) {
    if (*at == '\n' || *at == '\0') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
      if (*at == '\0') break;
    } else {
      line += *at;
    }
  }
  return lines;
}

// The user's ticks from a line each "driver option 0|1": driver index ->
// option index -> ticked. A driver index of no folder is left out.
inline std::map<unsigned, std::map<unsigned, bool>> TicksOf(const char* ticks, size_t driverCount) {
  std::map<unsigned, std::map<unsigned, bool>> ticked;
  for (const std::string& line : LinesOf(ticks)) {
    char* end = nullptr;
    unsigned long driver = strtoul(line.c_str(), &end, 10);
    unsigned long option = strtoul(end, &end, 10);
    unsigned long on = strtoul(end, &end, 10);
    if (driver < driverCount) ticked[static_cast<unsigned>(driver)][static_cast<unsigned>(option)] = on != 0;
  }
  return ticked;
}

#endif  // OEM2SIF_WEB_PAGE_INPUT_H
