// What the runtime-data sections learn from the application's data segment
// and leave for later sections of the report.
#pragma once
#include <cstdint>

namespace morvik {

struct RuntimeFindings {
  // Data-segment offset just past the _crt/_crt2 record, where the heap
  // search starts; -1 when it was not found.
  int32_t heapScanFrom = -1;
};

}  // namespace morvik
