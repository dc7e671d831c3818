// The SYM file's data symbols and the application's data segments.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Reads the SYM file's variables section into DataList (by name); sets
// rtdsvOffset and BASICsym.
void makeDataList(Session& s);
// Orders the application's data segments (once the LDT is loaded) and
// places them in the data space.
void sort_data_segments(Session& s);
// A data-space offset of the SYM file as selector:offset; 0 when it lies
// before the first data segment.
uint32_t getAddress(Session& s, uint32_t offset);
// Writes the name of the data symbol at the low 16 bits of `addr` ("(Not
// Found)" when there is none); with a CDV file, the CDV name of `addr`.
// `flag` is the callers' second argument; the naming does not depend on it.
void findDataname(Session& s, uint32_t addr, int16_t flag = 0);
// Spot check that the SYM file belongs to the dumped application; returns 0.
int16_t bad_sym(Session& s);

}  // namespace morvik
