// The CDV symbol file: the reader and the lookups of its symbols, modules
// and line numbers.
#pragma once
#include <cstdint>
#include <string_view>

#include "morvik/state/session.h"

namespace morvik {

// Reads the whole CDV file into the symbols; returns 0. A refused tag or an
// unreadable directory closes cdvfile (the run goes on without it).
int16_t readcdv(Session& s);

// The first item in address order with exactly that name, or null.
const listitem* findCDVName(Session& s, std::string_view name);
// Writes the name of the item at `addr` and returns 1, or "(Not found)"
// and 0.
int16_t printCDVname(Session& s, uint32_t addr);
// Writes the name and place of a far code address (procedure, line,
// module); nothing when none is known. Returns 0.
int16_t findCDVaddr2(Session& s, uint32_t addr);
// The line of `addr` in the module of `item`; 0 when unknown.
int getLineNum(Session& s, const listitem& item, uint32_t addr);
// Writes "line %d " for the line-table entry at `addr`; nothing without one.
void showlinenum(Session& s, uint32_t addr);

}  // namespace morvik
