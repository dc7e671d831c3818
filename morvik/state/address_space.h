// The dump's address space: the mode flags of the dump variant and the
// tables loaded from it to translate addresses into dump offsets.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "morvik/records/struc.h"

namespace morvik {

// The kernel's BSX symbols, read once from the file (every lookup used to
// scan the file again from its start).
struct KernelSymbols {
  std::string path;  // the file they were read from, and its size
  uint64_t size = 0;
  bool loaded = false;
  bool indexed = false;  // the records are held (not for a file far too large)
  std::vector<sym_s> records;  // in file order; a short last record is not one
  std::vector<uint64_t> keys;  // each record's name's first 8 bytes, for the lookups
  // Names looked up so far: the first record of each, if there is one.
  std::map<std::string, std::optional<sym_s>, std::less<>> first;
};

// The dump's address space: how the dump maps memory, and the tables
// loaded from it to translate addresses into dump offsets.
struct AddressSpace {
  // Mode flags, fixed when the dump file is opened (flags hold 0 or 1).
  int16_t page = 0;       // translation through page tables
  int16_t ELVELA = 0;     // EL dump: kernel at kernal_offset inside the file
  int16_t termMARRA = 0;  // MARRA terminal: unpaged 24-bit memory
  int16_t termdump = 0;   // a terminal dump (not a controller dump)
  int16_t termappl = 0;   // the application uses the terminal runtime layout
  uint32_t kernal_offset = 0;
  std::string bsx_name;  // "RT8GL" or "CT8SL" for EL dumps, else empty

  // GDT (loaded by getGDT).
  uint32_t OS_Data = 0;  // dump offset of the "gdt_desc" datum
  uint32_t GDT_base = 0;  // MARRA: a dump offset; otherwise a system linear address
  uint16_t GDT_lim = 0;   // descriptor limit with the low three bits cleared
  std::vector<unsigned char> gdtptr;  // the GDT copy, limit + 1 bytes
  bool gdt_loaded = false;

  // System page directory (paged dumps).
  uint32_t PTD_addr = 0;
  std::array<uint32_t, 1024> PTDbuffer{};

  // The application's LDT and page directory (loaded by page_get_LDT or get_LDT).
  ldth_s ldth;
  uint16_t ldttop = 0;
  std::vector<unsigned char> ldtptr;  // numldt * 8 bytes; slot k is selector k * 8 + 7
  std::vector<uint32_t> pagedir;      // 1024 entries once loaded
  uint32_t CR3 = 0;         // dump offset of the process page directory
  uint32_t LDT_addr = 0;    // system selector:offset of the LDT object
  uint32_t LDT_offset = 0;  // its dump offset
  uint32_t code_min = 0xFFFFFFFFu;  // span of the application's code, dump offsets
  uint32_t code_max = 0;

  // Process page-table cache: the last process page table read (5,120 bytes).
  std::vector<uint32_t> pagetable;
  uint32_t oldPTaddr = 0;   // its frame address; 0 = nothing cached
  size_t pagetblptr = 0;    // index of the first non-zero entry of pagetable
  int16_t PDindex = 0;
  uint32_t PTindex = 0;
  // System page-table cache.
  std::array<uint32_t, 1024> syspagetable{};
  uint32_t oldsysPTaddr = 0;
  bool ldtptr_shown = false;  // the debug line "ldtptr=" is printed once per run

  KernelSymbols kernel_symbols;  // the BSX file's records

  // Bounds-checked views of the copies (a slot outside a copy reads as zero).
  size_t gdt_slots() const { return gdtptr.size() / GDT_entry::kSize; }
  GDT_entry gdt_entry(size_t slot) const;
  size_t ldt_slots() const { return ldtptr.size() / ldt_s::kSize; }
  ldt_s ldt_entry(size_t slot) const;
};

}  // namespace morvik
