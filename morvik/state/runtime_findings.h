// What the runtime-data sections learn from the application's data segment
// and code and leave for later sections of the report.
#pragma once
#include <cstdint>
#include <string>

namespace morvik {

struct RuntimeFindings {
  // Data-segment offset just past the _crt/_crt2 record, where the heap
  // search starts; -1 when it was not found.
  int32_t heapScanFrom = -1;

  // Runtime levels: the one the two version searches found, and the one
  // the big-model runtime data use (0 until found).
  int16_t controller_cbrt = 0;
  int16_t rtlevel = 0;
  std::string verdate;     // date text of the application's runtime (8 characters)
  std::string WrenRTdate;  // date text of the shared runtime (9 characters)
  // The error codes the error-trap patcher planted.
  std::string kivra_codes = "??, ??, ??, ??.";

  // Data-segment offsets of the runtime's trace variables, from the SYM
  // file (0 when absent).
  int16_t sym_tracesize = 0;
  int16_t sym_traceindex = 0;
  int16_t sym_tracebuffer = 0;
  int16_t sym_nestlevel = 0;
  int16_t sym_timebuffer = 0;

  // For the saved error data later in the report: the error history's
  // count of errors not resumed, and the first saved error block.
  int16_t arnnet = 0;
  uint32_t savedErrorHead = 0;
};

}  // namespace morvik
