#include "morvik/sections/heapwalk.h"

namespace morvik {

// Walks nothing until the heap walk is built.
void heapwalk_c(Session& /*s*/, uint32_t /*usedlist*/) {}

// Walks nothing until the heap walk is built.
void heapwalk(Session& /*s*/, uint32_t /*hcb*/) {}

// Prints nothing until the heap trace is built.
void HeapTrc(Session& /*s*/) {}

}  // namespace morvik
