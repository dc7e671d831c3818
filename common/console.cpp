#include "common/console.h"

#include <cstdio>
#include <ostream>
#include <vector>

namespace vt {

std::string vformat(const char* fmt, va_list ap) {
  char small[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  return std::string(big.data(), static_cast<size_t>(n));
}

std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  return s;
}

void print(std::ostream& os, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  os << vformat(fmt, ap);
  va_end(ap);
}

void end_run(Console& con, int status) {
  con.out.flush();
  con.err.flush();
  throw RunEnd{status};
}

}  // namespace vt
