// Builds an application's stack segment and the call instructions its
// return addresses point behind: near and far calls in the application's
// code, and far calls in a shared runtime's code (a GDT code segment).
//
//   StackBuilder st(0x2000);
//   uint16_t ret = put_far_call(b, proc, code, 0x0100, code, 0x0400);
//   st.far_ptr(0x1FA2, code, ret);
//   st.put(b, proc, ss);
#pragma once
#include <cstdint>

#include "testkit/dumpbuilder.h"

namespace testkit {

class StackBuilder {
 public:
  explicit StackBuilder(uint32_t size) : bytes_(size, 0) {}
  StackBuilder& word(uint32_t off, uint16_t v);
  // A far pointer as pushed: the offset word, then the selector word.
  StackBuilder& far_ptr(uint32_t off, uint16_t selector, uint16_t offset);
  // Fills [from, to) with the 16-bit pattern (0x5353, 0x0D0D ...).
  StackBuilder& fill(uint32_t from, uint32_t to, uint16_t pattern);
  const Bytes& bytes() const { return bytes_; }
  // Writes the stack into segment `ss` of the process.
  void put(DumpBuilder& b, int proc, uint16_t ss) const;

 private:
  Bytes bytes_;
};

// A far call (9A offset selector) at `at` of application code segment
// `code`; returns the return offset (at + 5).
uint16_t put_far_call(DumpBuilder& b, int proc, uint16_t code, uint16_t at, uint16_t target_sel, uint16_t target_off);
// A near call (E8 displacement) at `at`; returns the return offset (at + 3).
uint16_t put_near_call(DumpBuilder& b, int proc, uint16_t code, uint16_t at, uint16_t target);

// A shared runtime's code: system memory seen through a GDT code selector.
struct SharedRuntime {
  uint16_t data = 0;  // the system data selector of its memory
  uint16_t code = 0;  // the code selector (rpl 3)
  uint32_t data_far = 0;
  // The first offset of its memory (both selectors see the same offsets).
  uint16_t start() const { return static_cast<uint16_t>(data_far); }
};
SharedRuntime add_shared_runtime(DumpBuilder& b, uint32_t size);
// A far call at `at` (from start() on) of the runtime's code to target; returns at + 5.
uint16_t put_runtime_far_call(DumpBuilder& b, const SharedRuntime& rt, uint16_t at, uint16_t target_sel,
                              uint16_t target_off);

}  // namespace testkit
