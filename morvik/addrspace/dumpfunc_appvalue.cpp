#include "morvik/addrspace/dumpfunc_appvalue.h"

#include <algorithm>
#include <span>

#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

bool read_app_value(Session& s, uint32_t addr, unsigned char* buf, size_t len) {
  std::fill(buf, buf + len, 0);
  if (len == 0) return true;
  if ((addr & 0xFFFF) + len - 1 > 0xFFFF) return false;
  int16_t cls = isValidSelector(s, addr);
  if ((cls != kLdtData && cls != kLdtCode) || isValidSelector(s, addr + static_cast<uint32_t>(len) - 1) != cls)
    return false;
  return readstuff(s, std::span<unsigned char>(buf, len), addr, 1, static_cast<int16_t>(len), 'a') == 1;
}

}  // namespace morvik
