// The SYM file that a postprocessed module carries in its dumped code.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Looks for the SYM file at the end of the application's code and, when it
// is there, writes it out and uses it.
void validate_SYM_in_dump(Session& s);

}  // namespace morvik
