// Builds the BASIC runtimes' call trace into an application's memory: the
// trace control block, the trace buffer of N + 1 slots (with time stamps or
// without), the integer variable trace, and the call-count tree.
//
//   CallTrace t;
//   t.timestamps = true;
//   t.slots = {slot(0x67, 0x0120, 1, msecs(9, 0, 0)), ...};  // N + 1 slots
//   t.traceindex = 8 * 2;  // the current slot
//   place_trace(b, proc, ds << 16 | 0x0100, ds << 16 | 0x1000, t);
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

struct TraceSlot {
  uint16_t off = 0, seg = 0;  // the call site; seg bit 15: a runtimes entry
  uint16_t bp = 0;            // ERR (high) and SWI (low) bytes with newer runtimes
  uint8_t level = 0;
  uint32_t stamp = 0;                // milliseconds since midnight
  std::array<uint32_t, 3> values{};  // traced integers, slot for slot
};

inline TraceSlot slot(uint16_t seg, uint16_t off, uint8_t level, uint32_t stamp = 0, uint16_t bp = 0) {
  TraceSlot s;
  s.seg = seg;
  s.off = off;
  s.level = level;
  s.stamp = stamp;
  s.bp = bp;
  return s;
}

struct TracedInteger {
  uint32_t addr = 0;  // the variable
  uint8_t size = 0;   // 1, 2 or 4
};

struct CallTrace {
  std::vector<TraceSlot> slots;         // N + 1 slots
  std::optional<uint16_t> tracesize;    // N; by default slots.size() - 1
  uint16_t traceindex = 0;              // byte offset of the current slot
  bool timestamps = false;
  uint16_t time_marker = 0;             // 0xFFFA: the clock was never set
  uint32_t firstcaller = 0;             // an LDT code address
  uint8_t nestlevel = 0;
  std::vector<TracedInteger> integers;  // up to three
  std::optional<uint8_t> integer_count;  // by default integers.size()

  uint16_t entries() const { return tracesize ? *tracesize : static_cast<uint16_t>(slots.size() - 1); }
};

// The control block (tracesize, traceindex, tracebuffer, firstcaller,
// nestlevel, then the terminal runtime's time marker).
Bytes trace_control(const CallTrace& t, uint32_t tracebuffer);
// The trace buffer of (12 with time stamps, else 8) * N + 20 bytes.
Bytes trace_buffer(const CallTrace& t);
// The 21 bytes at "TrIntBuf" and the integer trace buffer (12 bytes a slot).
Bytes trint_block(const CallTrace& t, uint32_t integer_buffer);
Bytes integer_buffer(const CallTrace& t);

enum class TraceForm { Terminal, BigModel };

// Writes the control block at `ctl`, the trace buffer at `buffer` (cut at
// the end of its 64 KB segment) and, when
// integers are traced, the "TrIntBuf" block at `trint` and their buffer
// after the trace buffer. The big-model form keeps the time marker 4 bytes
// before the control block.
void place_trace(DumpBuilder& b, int proc, uint32_t ctl, uint32_t buffer, const CallTrace& t,
                 TraceForm form = TraceForm::Terminal, uint32_t trint = 0);

// A node of the call-count tree (index 0 the root; 0 = no child).
struct CountNode {
  uint32_t addr = 0;
  uint16_t left = 0, right = 0;
  uint32_t count = 0;
};
// The tree's nodes, 12 bytes each.
Bytes call_count_tree(const std::vector<CountNode>& nodes);

}  // namespace testkit
