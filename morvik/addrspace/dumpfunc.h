// Dump image and address translation, and the kernel symbol lookup: every
// read of dumped memory goes through here.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "morvik/state/session.h"

namespace morvik {

// --- dump kind and translation -------------------------------------------

// Sets up the page-table caches; called once at start.
void allocate_buffers(Session& s);
// Reads the dump header and sets the mode flags of the variant; an unknown
// signature ends the run with "Dump is incomplete." and status -1.
void detect_dump_kind(Session& s);

// System / process linear address to dump offset (0 for 0; kNoDumpOffset
// when the page is not present).
uint32_t sysVir2Phys(Session& s, uint32_t LinearAddr);
uint32_t Vir2Phys(Session& s, uint32_t LinearAddr);
// Process / system selector:offset to dump offset; an invalid selector ends the run.
uint32_t getphysoffset(Session& s, uint32_t addr);
uint32_t getSYSphysoffset(Session& s, uint32_t addr);
// Base of a GDT slot (read from the dump) / an LDT slot as a dump offset
// (paged) or the 24-bit base (unpaged); `print` writes the linear base.
uint32_t getsysbase(Session& s, int16_t index);
uint32_t getbase(Session& s, int16_t index, int16_t print);
uint16_t getsize(Session& s, int16_t index);
// Re-expresses selector:offset on the nearest application data segment.
uint32_t getDataPointer(Session& s, uint32_t selector, uint32_t offset);
// Reads howmany * howbig bytes of dumped memory at `what` (selector:offset)
// into `where` ('a' application, 's' system), crossing pages; never writes
// past `where`. Returns 1 when all bytes were read, 0 otherwise.
int16_t readstuff(Session& s, std::span<unsigned char> where, uint32_t what, int16_t howmany, int16_t howbig,
                  char processType);
// The first `size` bytes of the application segment `selector`, read in
// pieces through readstuff; cut before the first piece it cannot read (it
// names the failure in the report).
std::vector<unsigned char> read_segment(Session& s, uint16_t selector, size_t size);
// Prints the system and free memory sizes.
void getmemmap(Session& s);

// --- kernel symbols (BSX file) --------------------------------------------

// A kernel symbol's dump offset: segment + offset + kernal_offset.
uint32_t sym_dump_offset(const Session& s, const sym_s& sym);
// Visits the BSX records in file order until `visit` returns false or the
// file ends (a short last record ends the scan).
void scan_kernel_symbols(Session& s, const std::function<bool(const sym_s&)>& visit);
// The first record of that name (exact, case included).
std::optional<sym_s> find_kernel_symbol(Session& s, std::string_view name);
// The dump offset of the first record of that name.
std::optional<uint32_t> kernel_symbol_offset(Session& s, std::string_view name);

// The BSX plausibility check of terminal dumps ("pagearea").
void check_bsx(Session& s, const std::string& bsxpath);

}  // namespace morvik
