// The printer of one BASIC string.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Prints the BASIC string (16-bit length, then the characters) at the far
// address `addr` of the application. Returns 0.
int16_t doString(Session& s, uint32_t addr);

}  // namespace morvik
