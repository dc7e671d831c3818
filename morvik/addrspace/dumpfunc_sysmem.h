// Reads of kernel memory by system selector:offset, page by page.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "morvik/state/session.h"

namespace morvik {

// The dump offset of a system selector:offset through getSYSphysoffset: a
// selector beyond the GDT or a system page table that cannot be read ends
// the run with its message. Nothing when the memory is not present.
std::optional<uint32_t> sys_offset(Session& s, uint32_t far);
// Reads `len` bytes of system memory at `far` plus `at` bytes, page by page,
// translating as sys_offset does; stops at the first byte that is not in the
// dump or past the segment's 64 KB. Returns the bytes read. A null address
// reads nothing.
size_t read_system(Session& s, uint32_t far, uint32_t at, unsigned char* buf, size_t len);
// The same for the record of a bounded walk: an address that would end the
// run in the translation reads nothing instead, so that the walk ends with
// its note.
size_t read_walk_record(Session& s, uint32_t far, unsigned char* buf, size_t len);

// Text of at most `max` bytes, ending at the first NUL.
std::string bounded_text(const unsigned char* p, size_t max);

}  // namespace morvik
