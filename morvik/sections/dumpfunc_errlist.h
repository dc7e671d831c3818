// Error lists and the runtime level: the controller runtime's data, and the
// search of the application's code for a text.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The runtime-data section of the big-memory-model (controller) runtime.
void wrenRTdata(Session& s);
// Searches the application's code for `str` followed by a digit; on a find
// copies `len` bytes from there into `result` and returns 1, else 0.
int16_t searchCodeForString(Session& s, const char* str, unsigned char* result, int16_t len);

}  // namespace morvik
