// The SYM file that a postprocessed module carries in its dumped code.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Records where the application's code lies, from the process's first
// memory descriptor at `p_mem` (0: none).
void locate_SYM_in_dump(Session& s, uint32_t p_mem);
// Looks for the SYM file at the end of the application's code and, when it
// is there, writes it out and uses it.
void validate_SYM_in_dump(Session& s);

}  // namespace morvik
