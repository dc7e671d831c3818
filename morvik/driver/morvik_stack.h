// The variables section from a SYM file and the stack section; for now the
// printer of one BASIC string, which the array printer and the CDV variable
// listing share.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Prints the BASIC string (16-bit length, then the characters) at the far
// address `addr` of the application. Returns 0.
int16_t doString(Session& s, uint32_t addr);

// The variables section from the SYM file's data symbols.
void processSyms(Session& s);
// The stack section.
void dostack(Session& s);

}  // namespace morvik
