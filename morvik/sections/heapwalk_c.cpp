// The controller (big-model) runtime's heap: the list head "_usedlist"
// points to, its free-base and free lists, the blocks of each heap
// segment; and the allocation trace of an instrumented runtime.
#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/heapinfo.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/heapwalk.h"
#include "morvik/symbols/dumpfunc_symfile.h"

namespace morvik {

namespace {

constexpr size_t kBaseBlocks = 256;
constexpr size_t kFreeBlocks = 5000;
constexpr size_t kSegmentBlocks = 500;
constexpr uint16_t kTraceEntries = 16;

unsigned long ul(uint32_t v) { return static_cast<unsigned long>(v); }

void walk_note(Session& s, const ChainResult& r, const std::string& what) {
  std::string note = chain_note(r, what, "block");
  if (!note.empty()) s.outfile.print("\t %s\n", note.c_str());
}

// A ring of list blocks from `head` until it comes back to `end` or `bound`
// blocks were shown; `show` prints one block. Returns the lengths' sum.
long walk_ring_of_blocks(Session& s, AppMemory& mem, uint32_t head, uint32_t end, size_t bound,
                         const std::string& what,
                         const std::function<void(size_t n, uint32_t addr, const unsigned char* b)>& show) {
  long sum = 0;
  size_t shown = 0;
  ChainGuard guard;
  ChainResult r = walk_application_records(
      mem, guard, head, ulblock::kSize,
      [&](uint32_t addr, const unsigned char* b) -> std::optional<uint32_t> {
        ulblock k = decode_ulblock(b);
        show(++shown, addr, b);
        sum += k.len;
        if (k.next == end || shown >= bound) return std::nullopt;
        return k.next;
      },
      bound + 1);
  walk_note(s, r, what);
  return sum;
}

// The free-base and free lists from the list head at *usedlist; returns the
// free list's start, whose selector the segment listing starts with.
uint32_t usedlist_lists(Session& s, AppMemory& mem, uint32_t usedlist) {
  unsigned char p[4] = {};
  if (!readstuff(s, p, usedlist, 1, 4, 'a')) return 0;
  uint32_t ul_addr = vt::le32(p);
  s.outfile.print("\nusedlist=%08lX, *usedlist=%08lX\n", ul(usedlist), ul(ul_addr));
  // A runtime that has not allocated yet has no list head.
  unsigned char hb[ulhead::kSize] = {};
  if (ul_addr != 0 && !readstuff(s, hb, ul_addr, 1, static_cast<int16_t>(sizeof hb), 'a')) return 0;
  ulhead h = decode_ulhead(hb);
  if (!h.fixed_ok) {
    s.outfile.write("ERROR - the heap afreebase and aflistptr appear to be wrong.\n");
    pdump(s, hb);
    return h.flistptr;
  }
  s.outfile.print("ul=%08lX, freebase=%08lX, flistptr=%08lX\n", ul(ul_addr), ul(h.freebase), ul(h.flistptr));
  s.outfile.write("\nThe freebase blocks are:\n");
  // The free-base ring comes back to the head; a head that links to itself
  // holds no block.
  walk_ring_of_blocks(s, mem, h.freebase == ul_addr ? 0 : h.freebase, ul_addr, kBaseBlocks, "Heap freebase list",
                      [&](size_t, uint32_t addr, const unsigned char* b) {
                        s.outfile.print("%04lX:%04lX  len=%02X%02X", ul(addr >> 16), ul(addr & 0xFFFF), b[7], b[6]);
                        if (!decode_ulblock(b).check_ok()) {
                          s.outfile.write("ERROR - the size checksum is bad\n");
                          pdump(s, std::span<const unsigned char>(b, ulblock::kSize));
                        }
                        s.outfile.write("\n");
                      });
  s.outfile.write("\nThe flist blocks are:\n");
  long sum = walk_ring_of_blocks(s, mem, h.flistptr, h.flistptr, kFreeBlocks, "Heap free list",
                                 [&](size_t n, uint32_t addr, const unsigned char* b) {
                                   s.outfile.print("%4d %04lX:%04lX  len=%02X%02X", static_cast<int>(n),
                                                   ul(addr >> 16), ul(addr & 0xFFFF), b[7], b[6]);
                                   if (!decode_ulblock(b).check_ok()) {
                                     s.outfile.write("\nERROR - the size checksum is bad\n");
                                     pdump(s, std::span<const unsigned char>(b, ulblock::kSize));
                                   }
                                   s.outfile.write("\n");
                                 });
  s.outfile.print("Total free space= %ld K-bytes\n", sum / 1024);
  return h.flistptr;
}

// The blocks of one heap segment in address order, each block's length
// leading to the next.
void list_segment_blocks(Session& s, AppMemory& mem, uint16_t selector, uint16_t limit) {
  uint32_t offset = 0;
  int32_t remaining = limit;
  for (size_t n = 0; n < kSegmentBlocks && remaining > 7 && offset <= 0xFFFF; ++n) {
    uint32_t addr = uint32_t{selector} << 16 | offset;
    unsigned char b[ulblock::kSize];
    if (!mem.read_all(addr, b, sizeof b)) {
      s.outfile.print("\t *** Heap segment %04lX: the block at %08lX is not in the dump; the listing stops here.\n",
                      ul(selector), ul(addr));
      return;
    }
    ulblock k = decode_ulblock(b);
    s.outfile.print("%04lX  ", ul(k.len));
    s.outfile.print("%08lX  ", ul(addr));
    pdump(s, b);
    // The length of a block with a bad check word leads nowhere: the
    // listing would show the same block again and again.
    if (!k.check_ok()) {
      s.outfile.print(
          "\t *** Heap segment %04lX: the check word of the block at %08lX does not match its length; "
          "the listing stops here.\n",
          ul(selector), ul(addr));
      return;
    }
    offset += uint32_t{k.len} + ulblock::kSize;
    remaining -= static_cast<int32_t>(k.len) + static_cast<int32_t>(ulblock::kSize);
  }
}

}  // namespace

void heapwalk_c(Session& s, uint32_t usedlist) {
  AppMemory mem(s);
  uint32_t flistptr = s.heap_debugmode ? usedlist_lists(s, mem, usedlist) : 0;
  // The heap's segments lie in consecutive selectors from the free list's on.
  for (uint32_t selector = flistptr >> 16; selector <= 0xFFFF; selector += 8) {
    uint16_t limit = getlimit(s, selector << 16);
    if (limit == 0) break;
    s.outfile.print("Limit for selector %04lX is %04lX\n", ul(selector), ul(limit));
    list_segment_blocks(s, mem, static_cast<uint16_t>(selector), limit);
    s.outfile.write("\n");
  }
  s.outfile.write("\n");
}

void HeapTrc(Session& s) {
  uint32_t entries = get_symbol_address(s, "HeapTrc_malloc_entries");
  if (entries == 0) return;
  s.outfile.print("\nHeapTrc addr of entries=%08lX\n", ul(entries));
  unsigned char c[2] = {};
  if (!readstuff(s, c, entries, 1, 2, 'a')) return;
  uint16_t n = vt::le16(c);
  s.outfile.print("Num entries=%ld\n", static_cast<long>(n));
  uint32_t addresses = get_symbol_address(s, "HeapTrc_malloc_addresses");
  uint32_t nestlevel = get_symbol_address(s, "HeapTrc_malloc_nestlevel");
  // Without either array there is nothing to list (and no address to read).
  if (n != kTraceEntries || addresses == 0 || nestlevel == 0) return;
  unsigned char v[4 * kTraceEntries] = {};
  unsigned char nest[kTraceEntries] = {};
  if (!readstuff(s, v, addresses, kTraceEntries, 4, 'a') || !readstuff(s, nest, nestlevel, kTraceEntries, 1, 'a'))
    return;
  for (uint16_t i = 0; i < n; ++i) {
    s.outfile.print("  Entry %4ld:  Nest=%02lX ", static_cast<long>(i), ul(nest[i]));
    uint32_t a = vt::le32(v + 4 * i);
    if (a == 0xFFFFFFFFu)
      s.outfile.write("  ************** wrap **************");
    else if (a & 1)
      s.outfile.print("      Free          %08lX", ul(a & ~1u));
    else
      s.outfile.print("  Allocate %08lX", ul(a));
    s.outfile.write("\n");
  }
}

}  // namespace morvik
