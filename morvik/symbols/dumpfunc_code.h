// Code symbols and the naming of code addresses.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Writes the name of the code address `addr` (selector:offset) to the
// report, each name with a leading blank; nothing when it has none. `flag`
// is the callers' second argument; the naming does not depend on it.
void findname(Session& s, uint32_t addr, int16_t flag = 0);

// Builds the code symbol lists from the whole SYM file.
void makelist(Session& s);

}  // namespace morvik
