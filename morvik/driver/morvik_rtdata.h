// The runtime data of a terminal BASIC application: errors, sessions, IF END
// and ON ERROR settings, and the error data saved before ON ERROR routines.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The runtime data report (dump file positioned at DS_offset).
void runtime_data_report(Session& s);
// The data saved before entering ON ERROR routines.
void saved_error_data(Session& s);

}  // namespace morvik
