// The demo application's call trace: about thirty calls in the runtime's
// trace buffer, a few traced integers and a call-count tree, all in the
// data segment's offsets 0x6000 to 0x6FFF, and their names for the demo's
// SYM file.
#pragma once
#include <cstdint>

#include "testkit/dumpbuilder.h"
#include "testkit/symfile.h"

namespace testkit {

// Writes the trace into the application's data segment `data`; `code` is
// its code selector, `terminal` picks the terminal runtime's layout (else
// the big-model runtime's).
void add_demo_trace(DumpBuilder& b, int proc, uint16_t code, uint16_t data, bool terminal);
// Points the terminal runtime's trace at `entries` calls (up to 5,200) with
// time stamps and traced integers, in two 64 KB data segments it adds.
void add_large_demo_trace(DumpBuilder& b, int proc, uint16_t code, uint16_t data, int entries);
// The runtime's trace variables and the traced integers, for the SYM file.
void add_demo_trace_symbols(SymFile& f);

}  // namespace testkit
