#include "testkit/stackbuilder.h"

#include <stdexcept>

namespace testkit {

StackBuilder& StackBuilder::word(uint32_t off, uint16_t v) {
  if (off + 2 > bytes_.size()) throw std::runtime_error("stack word outside the segment");
  bytes_[off] = static_cast<unsigned char>(v);
  bytes_[off + 1] = static_cast<unsigned char>(v >> 8);
  return *this;
}

StackBuilder& StackBuilder::far_ptr(uint32_t off, uint16_t selector, uint16_t offset) {
  return word(off, offset).word(off + 2, selector);
}

StackBuilder& StackBuilder::fill(uint32_t from, uint32_t to, uint16_t pattern) {
  for (uint32_t o = from; o + 2 <= to; o += 2) word(o, pattern);
  return *this;
}

void StackBuilder::put(DumpBuilder& b, int proc, uint16_t ss) const { b.put(proc, uint32_t{ss} << 16, bytes_); }

uint16_t put_far_call(DumpBuilder& b, int proc, uint16_t code, uint16_t at, uint16_t target_sel, uint16_t target_off) {
  Bytes call{0x9A};
  for (uint16_t w : {target_off, target_sel}) {
    call.push_back(static_cast<unsigned char>(w));
    call.push_back(static_cast<unsigned char>(w >> 8));
  }
  b.put(proc, uint32_t{code} << 16 | at, call);
  return static_cast<uint16_t>(at + 5);
}

uint16_t put_near_call(DumpBuilder& b, int proc, uint16_t code, uint16_t at, uint16_t target) {
  uint16_t disp = static_cast<uint16_t>(target - (at + 3));
  b.put(proc, uint32_t{code} << 16 | at,
        Bytes{0xE8, static_cast<unsigned char>(disp), static_cast<unsigned char>(disp >> 8)});
  return static_cast<uint16_t>(at + 3);
}

SharedRuntime add_shared_runtime(DumpBuilder& b, uint32_t size) {
  SharedRuntime rt;
  rt.data_far = b.alloc_system(size);
  rt.data = static_cast<uint16_t>(rt.data_far >> 16);
  rt.code = b.code_alias_gdt_segment(rt.data);
  b.fit_gdt_limit();
  return rt;
}

uint16_t put_runtime_far_call(DumpBuilder& b, const SharedRuntime& rt, uint16_t at, uint16_t target_sel,
                              uint16_t target_off) {
  Bytes call{0x9A};
  for (uint16_t w : {target_off, target_sel}) {
    call.push_back(static_cast<unsigned char>(w));
    call.push_back(static_cast<unsigned char>(w >> 8));
  }
  b.put_system(uint32_t{rt.data} << 16 | at, call);
  return static_cast<uint16_t>(at + 5);
}

}  // namespace testkit
