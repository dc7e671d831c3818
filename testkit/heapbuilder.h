// The BASIC runtimes' heaps in an application's memory of a built dump:
//  - the terminal runtime's heap: a control block in a segment of its own,
//    heap segments of items (each starting with its segment header), the
//    big free list through the items' next/prev pointers, homogeneous free
//    lists; MORVIK finds the control block through the text "NewHeap" in
//    the data segment (put_new_heap);
//  - the controller runtime's lists: the list head that the variable
//    "_usedlist" points to, heap segments of 8-byte-headed blocks, the ring
//    of free-base blocks and the ring of free blocks;
//  - the allocation trace of an instrumented runtime.
// Each heap segment takes the application's next LDT slot.
#pragma once
#include <cstdint>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

// One item of a terminal heap segment: a length word, `len` data bytes and
// the trailer that marks it in use, free or (with `trailer`) corrupt.
struct HeapItem {
  enum class Kind { Used, Free, Corrupt };
  Kind kind = Kind::Used;
  uint16_t len = 16;
  Bytes data;            // an item in use: its first data bytes
  int list = -1;         // a free item: -1 the big free list, k homogeneous list k
  uint16_t trailer = 0;  // a corrupt item's trailer
};

HeapItem used_item(uint16_t len, Bytes data = {});
HeapItem free_item(uint16_t len, int list = -1);
HeapItem corrupt_item(uint16_t len, uint16_t trailer);

struct HeapSegment {
  uint32_t size = 0x1000;
  std::vector<HeapItem> items;
  // The rest of the segment after the items becomes one item in use (when
  // there is room for one), as the runtime's segments are always full.
  bool fill = true;
};

struct TerminalHeapSpec {
  uint16_t granularity = 16;
  uint16_t max_homogeneous = 64;
  int16_t coalesce_strategy = 1;
  uint16_t os_malloc_limit = 0x8000;
  int homogeneous_lists = 0;  // roots in the control block
  std::vector<HeapSegment> segments;
};

struct TerminalHeap {
  uint32_t hcb = 0;                          // the control block
  std::vector<uint32_t> segments;            // each segment's address (offset 0)
  std::vector<std::vector<uint32_t>> items;  // per segment, each item's data address
  std::vector<uint32_t> free_list;           // the big free list, first to last (end_big_list)
  std::vector<uint32_t> roots;               // of the homogeneous lists
};

// One block of a controller heap segment: the 8-byte header and `len`
// bytes; a block on the free-base ring or the free list, or in use.
struct HeapBlock {
  enum class Kind { Used, Base, Free };
  Kind kind = Kind::Used;
  uint16_t len = 24;
  bool bad_check = false;  // a check word that is not the length's complement
};

struct ControllerSegment {
  uint32_t size = 0x1000;
  std::vector<HeapBlock> blocks;
  bool fill = true;  // the rest becomes one block in use
};

struct ControllerHeap {
  uint32_t usedlist = 0;  // the variable "_usedlist"
  uint32_t head = 0;      // the list head it points to
  std::vector<uint32_t> segments;
  std::vector<std::vector<uint32_t>> blocks;  // per segment, each block's address
  std::vector<uint32_t> freebase, flist;      // the rings, in order
};

// Where put_heap_trace put the trace's three variables (data offsets).
struct HeapTrace {
  uint16_t entries = 0, addresses = 0, nestlevel = 0;
};

class HeapBuilder {
 public:
  HeapBuilder(DumpBuilder& b, int proc) : b_(b), proc_(proc) {}

  TerminalHeap add_terminal_heap(const TerminalHeapSpec& cfg);
  // "NewHeap" and the control block's far address at offset `at` of the
  // data segment `data`.
  void put_new_heap(uint16_t data, uint16_t at, uint32_t hcb);

  // The "_usedlist" variable at data offset `usedlist_at`, the list head at
  // `head_at`, and the heap's segments.
  ControllerHeap add_controller_heap(uint16_t data, uint16_t usedlist_at, uint16_t head_at,
                                     const std::vector<ControllerSegment>& segments);

  // The trace's count (2 bytes), 16 addresses (4 bytes each) and 16 nesting
  // bytes from data offset `at` on; `count` is the count written.
  HeapTrace put_heap_trace(uint16_t data, uint16_t at, uint16_t count, const std::vector<uint32_t>& addresses,
                           const std::vector<uint8_t>& nest);

  // Damage: a free item's next and prev pointers, a segment's next_seg,
  // a controller block's next.
  void set_free_links(uint32_t item, uint32_t next, uint32_t prev);
  void set_next_seg(uint32_t segment, uint32_t next);
  void set_block_next(uint32_t block, uint32_t next);

 private:
  DumpBuilder& b_;
  int proc_;
};

}  // namespace testkit
