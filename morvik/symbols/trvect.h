// The BASIC runtimes' call vectors: the name of the entry at an offset of
// the transfer vector (trvect_selector) or the string vector
// (strvect_selector). Pure lookups.
#pragma once
#include <cstdint>

namespace morvik {

// The transfer-vector entry at `offset`, or null when none stands there.
const char* rtname(uint32_t offset);
// The string-vector entry at `offset`, or null.
const char* strvectName(uint32_t offset);

}  // namespace morvik
