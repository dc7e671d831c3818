// The terminal runtime's heap: its segments from the heap control block,
// each segment's items, the big free list and the homogeneous free lists.
#include "morvik/sections/heapwalk.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/heapinfo.h"
#include "morvik/report/doarray.h"

namespace morvik {

namespace {

constexpr size_t kSegmentItems = 2000;
// The control block counts free items in 16 bits: a longer free list is damaged.
constexpr size_t kFreeListBound = 0x10000;
constexpr size_t kDumpWindow = 512;

unsigned long ul(uint32_t v) { return static_cast<unsigned long>(v); }

bool app_data(const Session& s, uint32_t far) { return isValidSelector(s, far) == kLdtData; }

// selector:offset `at` bytes on from `base`, or nothing past the segment.
std::optional<uint32_t> advance(uint32_t base, uint32_t at) {
  uint32_t offset = (base & 0xFFFF) + at;
  if (offset > 0xFFFF) return std::nullopt;
  return (base & 0xFFFF0000u) | offset;
}

// A cut walk's note on a line of its own.
void walk_note(Session& s, const ChainResult& r, const std::string& what, const char* record) {
  std::string note = chain_note(r, what, record);
  if (!note.empty()) s.outfile.print("\t %s\n", note.c_str());
}

// The memory around a free item whose 'prev' pointer is invalid.
void dump_around(Session& s, AppMemory& mem, uint32_t item) {
  uint32_t seg = item & 0xFFFF0000u;
  uint32_t en = (item & 0xFFFF) >= 0xFF00 ? seg | 0xFFF0 : item + 256;
  uint32_t st = (en & 0xFFFF) <= kDumpWindow ? seg : en - kDumpWindow;
  if (!app_data(s, st) || !app_data(s, en)) {
    s.outfile.print("st=%08lX, en=%08lX\n", ul(st), ul(en));
    s.outfile.write("Cannot provide dump around error point. Invalid start or end.\n\n");
    return;
  }
  for (uint32_t a = st; a < en; a += 16) {
    unsigned char line[16];
    size_t got = mem.read(a, line, sizeof line);
    s.outfile.print("%08lX  ", ul(a));
    pdump(s, std::span<const unsigned char>(line, got));
  }
  s.outfile.write("\n");
}

// The heap segments from first_seg on, each with its items in debug mode.
void list_segments(Session& s, AppMemory& mem, const heap_info& h) {
  int32_t num_corrupt = 0;
  ChainGuard guard;
  ChainResult r = walk_application_records(
      mem, guard, h.first_seg, sentinel_t::kSize, [&](uint32_t addr, const unsigned char* rec) -> std::optional<uint32_t> {
        // The size is the segment's, from the LDT: a 64 KB segment is 10000h bytes.
        uint32_t bytes = uint32_t{getsize(s, static_cast<int16_t>(addr >> 19))} + 1;
        unsigned seg = addr >> 16, off = addr & 0xFFFF;
        s.outfile.print("\t      %04x:%04x (%04lxh bytes)\n", seg, off, ul(bytes));
        if (s.heap_debugmode) show_heap_block(s, mem, addr, bytes, num_corrupt);
        return decode_sentinel_t(rec).next_seg;
      });
  walk_note(s, r, "Heap segment chain", "segment");
  s.outfile.print("\n\t Total free space in the application heap:  %lxh bytes\n",
                  ul(static_cast<uint32_t>(h.granularity) * h.total_avail));
  if (s.heap_debugmode) {
    s.outfile.print("%ld in-use blocks were found to be corrupt\n\n", static_cast<long>(num_corrupt));
    s.outfile.print("\t  There are %d items on the free lists\n", h.num_free_items);
    s.outfile.print("end big list:  %08lX\n\n", ul(h.end_big_list));
  }
}

// The big free list, from end_big_list back along the 'prev' pointers:
// returns the largest length seen.
uint16_t walk_free_list(Session& s, AppMemory& mem, const heap_info& h) {
  uint16_t biggest = 0;
  if (h.end_big_list == 0) return biggest;  // no free item
  uint32_t last_prev = 0;
  ChainGuard guard;
  // The walk's records start at each item's length word, 2 bytes before it.
  ChainResult r = walk_application_records(
      mem, guard, h.end_big_list - 2, buff::kSize,
      [&](uint32_t at, const unsigned char* rec) -> std::optional<uint32_t> {
        buff b = decode_buff(rec);
        uint32_t item = at + 2;
        biggest = std::max(biggest, b.len);
        if (s.heap_debugmode)
          s.outfile.print("Free block at %08lX:  len=%04x, prev=%08lx, next=%08lx\n", ul(item), b.len, ul(b.prev),
                          ul(b.next));
        if (b.prev == 0) return std::nullopt;
        uint16_t sel = static_cast<uint16_t>(b.prev >> 16);
        if ((sel & 7) != 7 || (sel >> 3) > s.space.ldttop) {
          s.outfile.print("\nWARNING -- the 'prev' pointer in the free block at %08lX is invalid.\n", ul(item));
          s.outfile.write("The free memory chain may be corrupt.  Here is the memory around it:\n\n");
          dump_around(s, mem, item);
          return std::nullopt;
        }
        if (b.prev == last_prev) return std::nullopt;
        last_prev = b.prev;
        if (!app_data(s, b.prev - 2)) {
          s.outfile.print("ERROR - pointer %08lX to next free block is bad!\n", ul(b.prev - 2));
          return std::nullopt;
        }
        return b.prev - 2;
      },
      kFreeListBound);
  r.at += 2;  // name the item, not its length word
  walk_note(s, r, "Heap free list", "item");
  return biggest;
}

// The roots of the homogeneous free lists and the path of each.
void homogeneous_lists(Session& s, AppMemory& mem, const heap_info& h, const std::vector<unsigned char>& copy) {
  std::vector<uint32_t> roots;
  for (size_t i = 0; i < h.num_homogeneous_freelists; ++i) {
    size_t at = heap_info::kRootsAt + 4 * i;
    if (at + 4 > copy.size()) break;  // the control block ends there
    roots.push_back(vt::le32(copy.data() + at));
  }
  s.outfile.print("\tend_big_list:  %lx\n", ul(h.end_big_list));
  s.outfile.write("\thomogeneous freelist roots:\n");
  for (uint32_t root : roots) s.outfile.print("\t    %08lX\n", ul(root));
  s.outfile.write("\n");
  s.outfile.write("\nHere is the search path for the homogeneous free list pointers\n");
  for (size_t i = 0; i < roots.size(); ++i) {
    if (roots[i] == 0) continue;
    s.outfile.write("\n");
    s.outfile.print("At %08lX:  ", ul(roots[i]));
    size_t shown = 0;
    ChainGuard guard;
    ChainResult r = walk_application_records(
        mem, guard, roots[i], 4,
        [&](uint32_t, const unsigned char* rec) -> std::optional<uint32_t> {
          uint32_t next = vt::le32(rec);
          if (shown > 0 && shown % 8 == 0) s.outfile.write("\n              ");
          s.outfile.print(" %08lX", ul(next));
          ++shown;
          return next;
        },
        kFreeListBound);
    if (r.end == ChainEnd::BadLink) {
      s.outfile.write(" **Error**\n\n");
      s.outfile.write(" **Error**  the last address shown is invalid!\n\n");
    } else if (r.end != ChainEnd::Done) {
      s.outfile.write("\n");
      walk_note(s, r, vt::format("Homogeneous free list %d", static_cast<int>(i)), "item");
    }
  }
  s.outfile.write("\n\n");
}

}  // namespace

void show_heap_block(Session& s, AppMemory& mem, uint32_t seg_addr, uint32_t size, int32_t& num_corrupt) {
  s.outfile.print("\nAddress %08lX, size=%08lX\n", ul(seg_addr), ul(size));
  s.outfile.write("\nHere are the heap items in this memory block:\n");
  uint32_t o = sentinel_t::kSize;
  for (size_t n = 0; o < size && n < kSegmentItems; ++n) {
    std::optional<uint32_t> item = advance(seg_addr, o);
    unsigned char lw[2];
    if (!item || !mem.read_all(*item, lw, sizeof lw)) {
      s.outfile.print("\t *** Heap segment %08lX: the item at offset %04lX is not in the dump; the listing stops here.\n",
                      ul(seg_addr), ul(o));
      break;
    }
    uint16_t L = vt::le16(lw);
    uint32_t data = *item + 2;
    s.outfile.print("%08lX len=%04lX  ", ul(data), ul(L));
    if (L < 8) {
      s.outfile.write("\n");
      break;
    }
    // A trailer beyond the segment or the dump reads as 0: the item is corrupt.
    unsigned char tw[2] = {};
    if (auto t = advance(seg_addr, o + 2 + L)) mem.read(*t, tw, sizeof tw);
    uint32_t sum = uint32_t{L} + vt::le16(tw);
    unsigned char bytes[16] = {};
    size_t got = mem.read(data, bytes, sizeof bytes);
    if (sum == kItemInUse) {
      pdump(s, std::span<const unsigned char>(bytes, std::min<size_t>(got, L)));
    } else if (sum == kItemFree) {
      pdump(s, std::span<const unsigned char>(bytes, got));
      s.outfile.write("                   The block above is NOT USED.\n");
      freelist_t f = decode_freelist_t(bytes);
      if (f.next != 0 && !app_data(s, f.next)) {
        s.outfile.write(" * * * ERROR * * *   The back pointer in this block is corrupt!\n\n");
        ++num_corrupt;
      }
      if (f.prev != 0 && !app_data(s, f.prev)) {
        s.outfile.write(" * * * ERROR * * *   The forward pointer in this block is corrupt!\n\n");
        ++num_corrupt;
      }
    } else {
      pdump(s, std::span<const unsigned char>(bytes, got));
      s.outfile.write("      *** HEAP CORRUPTION in the above block!!! ***\n\n");
      ++num_corrupt;
    }
    o += L + kItemOverhead;
  }
  s.outfile.write("\n");
}

void heapwalk(Session& s, uint32_t aflistptr) {
  uint32_t at = getphysoffset(s, aflistptr);
  if (at == 0 || at == kNoDumpOffset) {
    s.con.err << "Cannot locate heap control block\n";
    return;
  }
  if (s.outfile.is_file()) {
    s.con.err << "  Checking the application heap...\n";
    s.con.err.flush();
  }
  uint16_t selector = static_cast<uint16_t>(aflistptr >> 16);
  uint16_t size = getsize(s, static_cast<int16_t>(selector >> 3));
  if (s.heap_debugmode) {
    s.outfile.print("\n    The heap control block is in segment %x\n", selector);
    s.outfile.print("size = %lx\n", ul(size));
  }
  std::vector<unsigned char> copy(size, 0);
  // A control block the dump does not hold whole (readstuff names the
  // failed read) gives no heap figures.
  if (size > 0 && !readstuff(s, copy, aflistptr, 1, static_cast<int16_t>(size), 'a')) return;
  heap_info h = decode_heap_info(copy.data(), copy.size());
  if (s.heap_debugmode) {
    s.outfile.print("\tnum_segments_allocated:  %d\n", h.num_segments_allocated);
    s.outfile.print("\tgranularity:  %d\n", h.granularity);
    s.outfile.print("\tnum_homogeneous_freelists:  %d\n", h.num_homogeneous_freelists);
    s.outfile.print("\tmax_homogeneous:  %d\n", h.max_homogeneous);
    s.outfile.print("\ttotal_avail:  %lxH\n", ul(h.total_avail));
    s.outfile.print("\tnum_free_items:  %d\n", h.num_free_items);
    s.outfile.print("\tcoalesce_strategy:  %d\n", h.coalesce_strategy);
    s.outfile.print("\tos_malloc_limit:  %x\n", h.os_malloc_limit);
    s.outfile.print("\tfirst_seg:  %08lX\n", ul(h.first_seg));
    s.outfile.print("selector:  %x\n", static_cast<unsigned>(h.first_seg >> 16));
  }
  if (h.num_segments_allocated == 1)
    s.outfile.write("\n\t There is 1 segment in the application heap:\n");
  else
    s.outfile.print("\n\t There are %d segments in the application heap:\n", h.num_segments_allocated);
  AppMemory mem(s);
  list_segments(s, mem, h);
  uint16_t biggest = walk_free_list(s, mem, h);
  s.outfile.print("\t The largest item on the free lists is %xh bytes\n", biggest);
  if (s.heap_debugmode) homogeneous_lists(s, mem, h, copy);
}

}  // namespace morvik
