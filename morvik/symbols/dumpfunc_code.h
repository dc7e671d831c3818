// Code symbols and the naming of code addresses: the SYM file's labels, the
// application's code segments in code-image order, and the name of a code
// address as label and distance.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Builds the code labels (CodeHead, the shared runtime's VectHead) and the
// CODE paragraphs from the whole SYM file.
void makelist(Session& s);
// Orders the application's code segments as the linker placed them and
// gives each its offset in the code image; sets strvect_selector,
// trvect_selector and CS_selector.
void sort_code_segments(Session& s);
// An offset in the code image as selector:offset, or 0.
uint32_t getCodeAddress(Session& s, uint32_t offset);
// The offset in the code image of selector:offset; 0 when no listed
// segment has the selector.
uint32_t get_offset_in_appl(Session& s, uint32_t addr);
// Writes the name of the code address `addr` (selector:offset) to the
// report, each name with a leading blank; nothing when it has none. `flag`
// is the callers' second argument; the naming does not depend on it.
void findname(Session& s, uint32_t addr, int16_t flag = 0);
// The target of the far call just before the return address `addr`, or 0.
uint32_t calledaddr(Session& s, uint32_t addr);
// 1 when `addr` is a GDT code address within its segment's limit.
int16_t isSRTLaddr(Session& s, uint32_t addr);
// Debug listing of every label with the first code bytes at it.
void show_function_prolog_code(Session& s);

}  // namespace morvik
