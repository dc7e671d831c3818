// The demo application's variables of every type, a stack of a few calls,
// and its module's SYM file carried at the end of its code.
#pragma once
#include <cstdint>

#include "testkit/demo.h"
#include "testkit/symfile.h"

namespace testkit {

// The application's code group: large enough for the merged SYM behind
// the code and the runtime's records.
constexpr uint32_t kDemoCodeSize = 0x5000;

// The variables' data-symbol entries (offsets 0x0014 to 0x002B).
void demo_vars_sym(SymFile& f);
// Writes the variables' values, the strings and the array, the stack and
// the call sites its return addresses name, and (`sym_in_code`) the merged
// SYM file at the end of the code.
void add_demo_vars(DumpBuilder& b, const DemoDump& d, bool sym_in_code);

}  // namespace testkit
