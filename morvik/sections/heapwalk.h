// The application's heap: the terminal runtime's heap (segments, control
// block, free lists), the controller runtime's lists found through
// "_usedlist", and the allocation trace of an instrumented runtime.
#pragma once
#include <cstdint>

#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/state/session.h"

namespace morvik {

// Walks a terminal application's heap from its control block at
// `aflistptr`: the segments, the free space and the largest free item;
// with "/dh" every item, the free lists and the homogeneous free lists.
void heapwalk(Session& s, uint32_t aflistptr);
// Lists the items of the heap segment at `seg_addr` of `size` bytes ("/dh"),
// adding the corrupt ones to `num_corrupt`.
void show_heap_block(Session& s, AppMemory& mem, uint32_t seg_addr, uint32_t size, int32_t& num_corrupt);
// Walks a controller application's heap from the "_usedlist" variable at
// `usedlist` ("/dh"; otherwise an empty line).
void heapwalk_c(Session& s, uint32_t usedlist);
// The allocation trace of an instrumented runtime ("/dh").
void HeapTrc(Session& s);

}  // namespace morvik
