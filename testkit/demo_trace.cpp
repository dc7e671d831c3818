#include "testkit/demo_trace.h"

#include "testkit/kernelbuilder.h"
#include "testkit/tracebuilder.h"

namespace testkit {

namespace {

// Data-segment offsets, all within 0x6000 .. 0x6FFF.
constexpr uint16_t kTimeMarker = 0x600C;  // the big-model runtime's, 4 bytes before the block
constexpr uint16_t kControl = 0x6010;
constexpr uint16_t kTimebuffer = 0x6020;
constexpr uint16_t kTreeRoot = 0x6030;
constexpr uint16_t kTreeEntries = 0x6034;
constexpr uint16_t kTrIntBuf = 0x6040;
constexpr uint16_t kItemCount = 0x6060;  // the traced integers
constexpr uint16_t kLane = 0x6064;
constexpr uint16_t kBuffer = 0x6100;     // trace buffer, then the integer trace
constexpr uint16_t kTree = 0x6800;
constexpr int kEntries = 32;

// The demo's code labels (see demo_sym): MAIN.PROGRAM 0x0000,
// PROCESS.SALE 0x00F0, PRINT.RECEIPT 0x0310.
struct Call {
  uint16_t off;
  uint8_t level;
};

}  // namespace

namespace {

// Sales in a loop: each calls PROCESS.SALE and then PRINT.RECEIPT, which
// calls into the runtimes (the terminal runtime's entries); `entries`
// calls with time stamps and two traced integers.
CallTrace demo_calls(uint16_t code, uint16_t data, int entries, bool terminal) {
  auto ds = [&](uint16_t off) { return uint32_t{data} << 16 | off; };
  CallTrace t;
  t.timestamps = true;
  t.firstcaller = uint32_t{code} << 16;
  t.nestlevel = 2;
  const Call pattern[] = {{0x0012, 1}, {0x00F8, 2}, {0x0140, 2}, {0x0318, 3}};
  uint32_t now = msecs(14, 31, 50);
  t.slots.resize(static_cast<size_t>(entries) + 1);
  const int current = entries > 9 ? 9 : 0;  // the slot the runtimes write next
  for (int k = 0; k < entries; ++k) {
    const int slot = (current + 1 + k) % (entries + 1);
    const Call& c = pattern[k % 4];
    TraceSlot& s = t.slots[static_cast<size_t>(slot)];
    if (k % 4 == 3 && terminal)
      s = testkit::slot(0x8000 | 0x0012, static_cast<uint16_t>(0x0345 + k), c.level, now);
    else
      s = testkit::slot(code, c.off, c.level, now, static_cast<uint16_t>(k % 5 == 0 ? 0x0001 : 0x0000));
    s.values = {static_cast<uint32_t>(k / 4 + 1), static_cast<uint32_t>(k % 3), 0};
    now += k % 8 == 7 ? 1250 : 35 + static_cast<uint32_t>(k % 32) * 3;
  }
  t.traceindex = static_cast<uint16_t>(8 * current);
  t.integers = {{ds(kItemCount), 2}, {ds(kLane), 1}};
  return t;
}

}  // namespace

void add_demo_trace(DumpBuilder& b, int proc, uint16_t code, uint16_t data, bool terminal) {
  static_assert(kTimeMarker + 4 == kControl);
  auto ds = [&](uint16_t off) { return uint32_t{data} << 16 | off; };
  CallTrace t = demo_calls(code, data, kEntries, terminal);
  b.put(proc, ds(kTimebuffer), le32_bytes(ds(kBuffer) + 8 * (kEntries + 1) + 4));
  place_trace(b, proc, ds(kControl), ds(kBuffer), t, terminal ? TraceForm::Terminal : TraceForm::BigModel,
              ds(kTrIntBuf));
  // The call counts of the three routines.
  b.put(proc, ds(kTreeRoot), le32_bytes(ds(kTree)));
  b.put(proc, ds(kTreeEntries), le16_bytes(3));
  b.put(proc, ds(kTree), call_count_tree({{uint32_t{code} << 16 | 0x00F0, 1, 2, 8},
                                          {uint32_t{code} << 16 | 0x0000, 0, 0, 1},
                                          {uint32_t{code} << 16 | 0x0310, 0, 0, 8}}));
}

void add_large_demo_trace(DumpBuilder& b, int proc, uint16_t code, uint16_t data, int entries) {
  auto ds = [&](uint16_t off) { return uint32_t{data} << 16 | off; };
  const uint32_t buffer = uint32_t{b.add_segment(proc, 0x10000, false)} << 16;
  const uint32_t integers = uint32_t{b.add_segment(proc, 0x10000, false)} << 16;
  CallTrace t = demo_calls(code, data, entries, true);
  b.put(proc, ds(kControl), trace_control(t, buffer));
  b.put(proc, buffer, trace_buffer(t));
  b.put(proc, ds(kTrIntBuf), trint_block(t, integers));
  b.put(proc, integers, integer_buffer(t));
}

void add_demo_trace_symbols(SymFile& f) {
  f.variable(kControl, "tracesize").variable(kControl + 2, "traceindex").variable(kControl + 4, "tracebuffer");
  f.variable(kControl + 12, "nestlevel").variable(kTimebuffer, "timebuffer").variable(kTrIntBuf, "TrIntBuf");
  f.variable(kTreeRoot, "ct_tree_root").variable(kTreeEntries, "ct_num_entries");
  f.variable(kItemCount, "SALE.COUNT%").variable(kLane, "LANE%");
}

}  // namespace testkit
