#include "testkit/symdump.h"

#include <stdexcept>

#include "vanterik/module286.h"

namespace testkit {

Bytes merged_sym(const std::string& symtext, const std::tm& stamp) {
  Bytes out(symtext.begin(), symtext.end());
  Bytes tr = vanterik::sym_trailer(stamp, static_cast<uint32_t>(symtext.size()));
  out.insert(out.end(), tr.begin(), tr.end());
  return out;
}

uint16_t put_merged_sym(DumpBuilder& b, int proc, uint16_t code, uint32_t end, const std::string& symtext,
                        const std::tm& stamp) {
  Bytes m = merged_sym(symtext, stamp);
  if (m.size() > end) throw std::runtime_error("merged SYM larger than the code before it");
  uint16_t at = static_cast<uint16_t>(end - m.size());
  b.put(proc, uint32_t{code} << 16 | at, m);
  return at;
}

}  // namespace testkit
