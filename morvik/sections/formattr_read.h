// Reads of the application's memory that the trace sections share.
#pragma once
#include <cstdint>
#include <span>

#include "morvik/state/session.h"

namespace morvik {

// Reads into `into` (at most 0xFFFF bytes) at the application address
// `addr`; false, with nothing read, when its selector is not an LDT
// selector or its offset lies beyond the segment's limit. Bytes beyond the
// limit are left as they were.
bool read_app(Session& s, std::span<unsigned char> into, uint32_t addr);

}  // namespace morvik
