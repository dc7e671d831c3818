// The CDV symbol file reader.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Reads the whole CDV file; returns 0.
int16_t readcdv(Session& s);

}  // namespace morvik
