#include "testkit/tracebuilder.h"

namespace testkit {

namespace {

void set16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<unsigned char>(v);
  b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void set32(Bytes& b, size_t at, uint32_t v) {
  set16(b, at, static_cast<uint16_t>(v));
  set16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

}  // namespace

Bytes trace_control(const CallTrace& t, uint32_t tracebuffer) {
  Bytes b(15, 0);
  set16(b, 0, t.entries());
  set16(b, 2, t.traceindex);
  set32(b, 4, tracebuffer);
  set32(b, 8, t.firstcaller);
  b[12] = t.nestlevel;
  set16(b, 13, t.time_marker);
  return b;
}

Bytes trace_buffer(const CallTrace& t) {
  const size_t n = t.entries();
  Bytes b((t.timestamps ? 12 : 8) * n + 20, 0);
  for (size_t i = 0; i < t.slots.size() && i <= n; ++i) {
    const TraceSlot& s = t.slots[i];
    set16(b, 8 * i, s.off);
    set16(b, 8 * i + 2, s.seg);
    set16(b, 8 * i + 4, s.bp);
    b[8 * i + 6] = s.level;
    if (t.timestamps) set32(b, 8 * (n + 1) + 4 + 4 * i, s.stamp);
  }
  return b;
}

Bytes trint_block(const CallTrace& t, uint32_t integer_buffer) {
  Bytes b(21, 0);
  set32(b, 0, integer_buffer);
  for (size_t v = 0; v < t.integers.size() && v < 3; ++v) {
    set32(b, 4 + 4 * v, t.integers[v].addr);
    b[16 + v] = t.integers[v].size;
  }
  b[20] = t.integer_count ? *t.integer_count : static_cast<uint8_t>(t.integers.size());
  return b;
}

Bytes integer_buffer(const CallTrace& t) {
  const size_t n = t.entries();
  Bytes b(12 * (n + 1), 0);
  for (size_t i = 0; i < t.slots.size() && i <= n; ++i)
    for (size_t v = 0; v < 3; ++v) set32(b, 12 * i + 4 * v, t.slots[i].values[v]);
  return b;
}

void place_trace(DumpBuilder& b, int proc, uint32_t ctl, uint32_t buffer, const CallTrace& t, TraceForm form,
                 uint32_t trint) {
  Bytes c = trace_control(t, buffer);
  if (form == TraceForm::BigModel) {
    c.resize(13);
    b.put(proc, ctl - 4, le16_bytes(t.time_marker));
  }
  b.put(proc, ctl, c);
  Bytes tb = trace_buffer(t);
  const size_t room = 0x10000 - (buffer & 0xFFFF);  // a buffer too large for the runtime is cut at its segment's end
  b.put(proc, buffer, tb.size() > room ? Bytes(tb.begin(), tb.begin() + static_cast<long>(room)) : tb);
  if (!t.integers.empty() || t.integer_count) {
    const uint32_t ib = buffer + static_cast<uint32_t>(tb.size());
    b.put(proc, trint, trint_block(t, ib));
    b.put(proc, ib, integer_buffer(t));
  }
}

Bytes call_count_tree(const std::vector<CountNode>& nodes) {
  Bytes b(12 * nodes.size(), 0);
  for (size_t i = 0; i < nodes.size(); ++i) {
    set32(b, 12 * i, nodes[i].addr);
    set16(b, 12 * i + 4, nodes[i].left);
    set16(b, 12 * i + 6, nodes[i].right);
    set32(b, 12 * i + 8, nodes[i].count);
  }
  return b;
}

}  // namespace testkit
