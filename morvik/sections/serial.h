// The RS-485 serial driver data.
#pragma once
#include <cstdint>

#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/records/pir.h"
#include "morvik/state/session.h"

namespace morvik {

// Where findDriver's walk of the driver list stands between its calls.
struct DriverWalk {
  int16_t firstcall = 1;
  uint32_t addr = 0;   // the next driver list entry
  uint32_t addr2 = 0;  // the last driver parameter block handled
  uint32_t driver_data = 0;
  uint32_t driver_data_offset = 0;  // dump offset of driver_data; kNoDumpOffset when it has none
  ChainGuard guard;                 // the whole walk, across the calls
};

// The serial driver section (paged dumps): -1 when the driver's BSX file
// cannot be opened, else 0. The caller does not use the result.
int16_t formatSerial(Session& s);
// One line of the driver's trace.
void doit(Session& s, const PIRATrc_s& t);
// The next instance of the driver in the driver list: 1 and its data in
// `w`, or 0 at the end of the list.
int16_t findDriver(Session& s, DriverWalk& w);

}  // namespace morvik
