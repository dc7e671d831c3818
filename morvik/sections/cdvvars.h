// The variables section from a CDV file, and its match check.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The variables section written from the CDV symbols.
void cdvvars(Session& s);
// Match check of the CDV file against a controller BASIC dump: 0 when it
// passes or cannot be made, -1 when the CDV file does not match.
int16_t checkcbhalt(Session& s);

}  // namespace morvik
