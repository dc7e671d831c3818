// The application's heap: the walk and the heap trace.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// Walks a controller application's heap from its used list at `usedlist`.
void heapwalk_c(Session& s, uint32_t usedlist);
// Walks a terminal application's heap from its control block at `hcb`.
void heapwalk(Session& s, uint32_t hcb);
// The heap trace ("/dh").
void HeapTrc(Session& s);

}  // namespace morvik
