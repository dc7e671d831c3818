#include "morvik/sections/dumpfunc_errlist.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/console.h"

namespace morvik {

// Prints nothing until the controller runtime data are built.
void wrenRTdata(Session& /*s*/) {}

// The code span (dump offsets from the LDT) is read a page at a time, with
// `len` bytes more so that a find near a page's end is copied whole. The
// KIVRA code listing that rides on this search lands with the error lists.
int16_t searchCodeForString(Session& s, const char* str, unsigned char* result, int16_t len) {
  const AddressSpace& a = s.space;
  size_t n = std::strlen(str);
  if (n == 0 || len <= 0) return 0;
  std::vector<unsigned char> buf(static_cast<size_t>(len) + 4096);
  for (uint64_t at = a.code_min; at < a.code_max; at += 4096) {
    if (at >= s.dumpfile.size()) break;
    size_t got = s.dumpfile.read_at(at, buf.data(), buf.size());
    if (got < buf.size())
      s.outfile.print("ERROR reading from virtual address %08lX\n", static_cast<unsigned long>(at));
    for (size_t i = 0; i + n < got; ++i) {
      if (std::memcmp(buf.data() + i, str, n) != 0 || buf[i + n] < '0' || buf[i + n] > '9') continue;
      size_t copy = std::min<size_t>(static_cast<size_t>(len), got - i);
      std::memset(result, 0, static_cast<size_t>(len));
      std::memcpy(result, buf.data() + i, copy);
      return 1;
    }
  }
  return 0;
}

}  // namespace morvik
