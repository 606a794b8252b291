// The tables the page's worker reads from the module's memory, each listed
// once: the list makes the struct the C++ fills and the names the module
// tells (o2s_*_layout), which the page's test compares with the worker's
// protocol (web/worker/protocol.js). A field listed here and not there, or in
// another order, fails that test.
#ifndef OEM2SIF_WEB_LAYOUT_H
#define OEM2SIF_WEB_LAYOUT_H

#include <cstdint>

// For a list FIELDS(X) of X(name): the members, and the names as one text.
#define O2S_LAYOUT_MEMBER(name) uint32_t name;
#define O2S_LAYOUT_NAME(name) " " #name
// For a list CODES(X) of X(name, value): the constants, and "name=value".
#define O2S_LAYOUT_CODE(name, value) " " #name "=" #value

#endif  // OEM2SIF_WEB_LAYOUT_H
