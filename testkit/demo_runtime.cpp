#include "testkit/demo_runtime.h"

#include <vector>

#include "testkit/runtimebuilder.h"

namespace testkit {

namespace {

// The places the demo's runtime may use: the version record in the code's
// last page, the runtime's data in 0x0800-0x3FFF of the data segment.
constexpr uint16_t kVersionAt = 0x3F00;

RingError ring_error(const char* code, uint32_t errnum, uint32_t msec, uint8_t session, uint8_t repeat = 0) {
  RingError e;
  e.code = code;
  e.errnum = errnum;
  e.msec = msec;
  e.session = session;
  e.repeat = repeat;
  return e;
}

// Three errors, the last two not resumed; three open sessions: the item
// file, the customer-receipt printer and the log.
TerminalRuntimeSpec demo_terminal_runtime(uint16_t code) {
  TerminalRuntimeSpec r;
  r.level = kDemoTerminalLevel;
  r.net_at = 0x0800;
  r.crt_at = 0x0A00;
  r.rtdata_at = 0x1000;
  r.spare_at = 0x1200;
  r.next = 3;
  r.arnnet = 2;
  const uint32_t ms = (14u * 3600 + 31 * 60) * 1000;
  r.ring[0] = ring_error("OE", 0x80F306C8u, ms + 5250, 3, 1);
  r.ring[1] = ring_error("IH", 0x8001000Fu, ms + 61500, 1);
  r.ring[2] = ring_error("EF", 0x00000001u, ms + 66125, 1);
  r.sessions.push_back(runtime_session(1, "C:/ADX_IDT1/EALITEMR.DAT", 0x00010005u, 0, 64,
                               Bytes{'0', '0', '0', '4', '2', ' ', 'B', 'R', 'E', 'A', 'D'}));
  r.sessions.push_back(runtime_session(2, "OMKPIPR", 0x00020009u, 4, 32, {}));
  r.sessions.push_back(runtime_session(3, "C:/ADX_IDT1/EALLOG.DAT", 0x0003000Bu, 0, 128, {}));
  r.sessions[0].ifend = uint32_t{code} << 16 | 0x0150;
  r.sessions[0].ifend_sp = 0x1F70;
  r.last_session = 1;
  r.event = 3;
  r.on_error = uint32_t{code} << 16 | 0x0100;
  r.unresumed.push_back(UnresumedError{"IH", 1, 0x8001000Fu, r.on_error, ms + 61500});
  r.unresumed.push_back(UnresumedError{"EF", 1, 0x00000001u, r.on_error, ms + 66125});
  r.saved.push_back(SavedError{0x1F60, "EF", 0x00000001u, 1});
  r.saved.push_back(SavedError{0x1F40, "IH", 0x8001000Fu, 1});
  return r;
}

}  // namespace

void add_demo_runtime(DumpBuilder& b, int proc, uint16_t code, uint16_t data, bool terminal) {
  b.put(proc, uint32_t{code} << 16 | kVersionAt,
        version_record(terminal ? kDemoTerminalLevel : kDemoControllerLevel, "05/14/09"));
  if (!terminal) return add_demo_controller_runtime(b, proc, code, data);
  add_terminal_runtime(b, proc, data, demo_terminal_runtime(code));
  // The SWI trace, full: PROCESS.SALE disables and enables in turn; the
  // newest entry stands before the wrap point.
  const uint32_t c = uint32_t{code} << 16;
  std::vector<uint32_t> events;
  for (int i = 0; i < 30; ++i)
    events.push_back(i == 10 ? 0xFFFFFFFFu : i % 2 == 0 ? 0x80000000u | c | 0x00F8 : c | 0x0100);
  put_swi_trace(b, proc, data, kDemoSwiTraceAt, events);
}

}  // namespace testkit
