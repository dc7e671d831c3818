// The report of ON ERROR routines that did not resume, shared by the
// terminal and the controller runtime data.
#pragma once
#include <cstdint>
#include <span>

#include "morvik/state/session.h"

namespace morvik {

// Reports the first (and second) of the error records in `arnoebuf` (two
// records of 16 bytes) when `arnnet` errors did not resume. `arnoeptr` is
// not used. Returns 0.
int16_t show_unresumed_errors(Session& s, int16_t arnnet, uint16_t arnoeptr, std::span<const unsigned char> arnoebuf);

}  // namespace morvik
