// The descriptor tables: the GDT copy, the application's LDT copy, selector
// classes and the LDT listing.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Selector classes of isSelector and isValidSelector.
constexpr int16_t kNoSelector = 0;
constexpr int16_t kLdtData = 1;
constexpr int16_t kLdtCode = 2;
constexpr int16_t kGdtData = 3;
constexpr int16_t kGdtCode = 4;

// Loads GDT_base, GDT_lim, the GDT copy and the system page directory.
void getGDT(Session& s);
int16_t isSelector(const Session& s, uint16_t selector);
// As isSelector, and 0 when the offset lies beyond the segment's limit.
int16_t isValidSelector(const Session& s, uint32_t full_address);
// ld_len of an application LDT selector, else 0.
uint16_t getlimit(const Session& s, uint32_t full_address);
// Paged dumps: loads the LDT copy and the process page directory (CR3).
void page_get_LDT(Session& s, uint32_t LDT_addr);
// MARRA and EL dumps: loads the LDT copy from its dump offset.
void get_LDT(Session& s, uint32_t LDT_offset);
// Debug listing of the LDT; sets code_min and code_max.
void display_ldt(Session& s);

}  // namespace morvik
