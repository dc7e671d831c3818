// The RS-485 serial driver data.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The serial driver section (paged dumps); the result is not used.
int16_t formatSerial(Session& s);

}  // namespace morvik
