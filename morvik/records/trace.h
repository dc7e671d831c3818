// The BASIC runtimes' call trace records, as they lie in application
// memory: the trace control block, the trace buffer's entries, the integer
// variable trace and the call-count tree's nodes. Addresses are application
// selector:offsets.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/le.h"

namespace morvik {

// The trace control block at the data symbol "tracesize"; the terminal
// runtime keeps the time marker after it when time stamps are recorded
// (the big-model runtime 4 bytes before it).
struct trace_ctl_s {
  static constexpr size_t kSize = 13;        // without the time marker
  static constexpr size_t kTimeMarkerAt = 13;  // terminal form
  static constexpr uint16_t kNoClock = 0xFFFA;  // SETTIME was never run
  static constexpr uint16_t kEmpty = 0xFFFF;    // traceindex: nothing traced yet
  uint16_t tracesize = 0;    // entries N (the buffer has N + 1 slots)
  uint16_t traceindex = 0;   // byte offset of the current slot
  uint32_t tracebuffer = 0;  // LDT data address
  uint32_t firstcaller = 0;  // LDT code address
  uint8_t nestlevel = 0;
};

inline trace_ctl_s decode_trace_ctl(const unsigned char* p) {
  trace_ctl_s c;
  c.tracesize = vt::le16(p + 0);
  c.traceindex = vt::le16(p + 2);
  c.tracebuffer = vt::le32(p + 4);
  c.firstcaller = vt::le32(p + 8);
  c.nestlevel = p[12];
  return c;
}

// One 8-byte slot of the trace buffer.
struct trace_entry_s {
  static constexpr size_t kSize = 8;
  static constexpr uint16_t kRuntimes = 0x8000;  // seg bit 15: written by the runtimes
  uint16_t off = 0;
  uint16_t seg = 0;
  uint16_t bp = 0;  // newer runtimes: ERR byte (high), SWI byte (low)
  uint8_t level = 0;
  bool empty() const { return off == 0 && seg == 0; }
};

inline trace_entry_s decode_trace_entry(const unsigned char* p) {
  trace_entry_s e;
  e.off = vt::le16(p + 0);
  e.seg = vt::le16(p + 2);
  e.bp = vt::le16(p + 4);
  e.level = p[6];
  return e;
}

// The trace buffer: N + 1 slots, 4 bytes, then (with time stamps) N + 1
// stamps in milliseconds since midnight. It is read in one piece of this
// many bytes.
inline uint32_t trace_buffer_length(uint32_t entries, bool timestamps) {
  return (timestamps ? 12u : 8u) * entries + 20u;
}
inline size_t trace_stamp_at(size_t entries, size_t slot) { return trace_entry_s::kSize * (entries + 1) + 4 + 4 * slot; }

// The integer variable trace's description at the data symbol "TrIntBuf".
struct trintstuff_s {
  static constexpr size_t kSize = 21;
  static constexpr int kMaxVars = 3;
  static constexpr size_t kRecord = 12;  // per slot of the integer trace buffer
  uint32_t buffer = 0;                   // the integer trace buffer
  uint32_t var[kMaxVars] = {};           // the traced variables
  uint8_t size[kMaxVars] = {};           // 1, 2 or 4 bytes; 0: not shown
  uint8_t count = 0;                     // traced variables
};

inline trintstuff_s decode_trintstuff(const unsigned char* p) {
  trintstuff_s t;
  t.buffer = vt::le32(p + 0);
  for (int v = 0; v < trintstuff_s::kMaxVars; ++v) {
    t.var[v] = vt::le32(p + 4 + 4 * v);
    t.size[v] = p[16 + v];
  }
  t.count = p[20];
  return t;
}

// One node of the call-count tree (index 0 is the root; 0 = no child).
struct TREE {
  static constexpr size_t kSize = 12;
  uint32_t addr = 0;
  uint16_t pLeft = 0;
  uint16_t pRight = 0;
  uint32_t useCount = 0;
};

inline TREE decode_tree(const unsigned char* p) {
  TREE t;
  t.addr = vt::le32(p + 0);
  t.pLeft = vt::le16(p + 4);
  t.pRight = vt::le16(p + 6);
  t.useCount = vt::le32(p + 8);
  return t;
}

}  // namespace morvik
