// The variables section from a SYM file and the stack section.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The variables section from the SYM file's data symbols.
void processSyms(Session& s);
// Writes " \"cc\"" when both bytes of the word (low first) are printable.
void print_stack_chars(Session& s, uint16_t word);
// The stack section.
void dostack(Session& s);

}  // namespace morvik
