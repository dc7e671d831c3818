// A variable's value read out of the application's memory, only when it
// lies whole in one of the application's segments.
#pragma once
#include <cstddef>
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Reads `len` bytes at `addr` (selector:offset) when they all lie within one
// LDT data or code segment of the application; the buffer is zeroed first,
// so a value outside the segment reads as zero and nothing is read. True
// when the bytes were read.
bool read_app_value(Session& s, uint32_t addr, unsigned char* buf, size_t len);

}  // namespace morvik
