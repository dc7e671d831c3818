#include "morvik/sections/formattr.h"

namespace morvik {

// Prints nothing until the terminal call trace is built.
void formatTrace(Session& /*s*/) {}

// Prints nothing until the call trace is built.
void formatWrenTrace(Session& /*s*/) {}

// Prints nothing until the call count report is built.
void report_ct_trace(Session& /*s*/) {}

}  // namespace morvik
