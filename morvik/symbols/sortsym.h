// The SYM file's data symbols and the application's data segments.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Orders the application's data segments (once the LDT is loaded).
void sort_data_segments(Session& s);
// Reads the SYM file's data symbols; sets rtdsvOffset.
void makeDataList(Session& s);
// Spot check that the SYM file belongs to the dumped application; returns 0.
int16_t bad_sym(Session& s);

}  // namespace morvik
