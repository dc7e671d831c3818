// Reads of kernel memory that a damaged pointer must not turn into the end
// of the run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "morvik/state/session.h"

namespace morvik {

// The dump offset of a system selector:offset, or nothing when it does not
// translate (a selector beyond the GDT, a page that is not present, a page
// table outside the dump). Unlike getSYSphysoffset it never ends the run.
std::optional<uint32_t> sys_offset(Session& s, uint32_t far);
// Reads `len` bytes of system memory at `far` plus `at` bytes, page by page;
// stops at the first byte that is not in the dump or past the segment's
// 64 KB. Returns the bytes read. A null address reads nothing.
size_t read_system(Session& s, uint32_t far, uint32_t at, unsigned char* buf, size_t len);

// Text of at most `max` bytes, ending at the first NUL.
std::string bounded_text(const unsigned char* p, size_t max);

}  // namespace morvik
