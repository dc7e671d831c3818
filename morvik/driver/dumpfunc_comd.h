// The system communication areas and the circumstances of the dump: where
// and why the machine dumped, and the failing address. Also the reads of
// kernel memory that a damaged pointer must not turn into the end of the
// run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "morvik/state/session.h"

namespace morvik {

// The terminal's machine type from "VCSM_machine" (terminal dumps).
void getMachineType(Session& s);
// The controller communication area: station, store, time, date, reason,
// the exception of an application program check, attachment and memory
// size (all but MARRA dumps).
void getCCOMD(Session& s);
// The terminal communication area of non-MARRA terminals (MOD2 number).
void getVELAtcomd(Session& s);
// The terminal communication area of MARRA dumps (at dump offset 1024).
void getTCOMD(Session& s);

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
