// The application call trace and the call count report.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The call trace of a terminal application.
void formatTrace(Session& s);
// The call trace of the big-memory-model runtime.
void formatWrenTrace(Session& s);
// The call count report.
void report_ct_trace(Session& s);

}  // namespace morvik
