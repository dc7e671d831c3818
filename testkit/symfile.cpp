#include "testkit/symfile.h"

#include <cstdio>

namespace testkit {

SymFile& SymFile::pair(const std::string& value, const std::string& name) {
  text_ += value + " " + name + "\r\n";
  return *this;
}

SymFile& SymFile::pair(uint32_t value, const std::string& name) {
  char v[16];
  std::snprintf(v, sizeof v, "%04X", static_cast<unsigned>(value));
  return pair(std::string(v), name);
}

SymFile& SymFile::shared_runtime(uint32_t first, const std::vector<std::pair<uint32_t, std::string>>& entries,
                                 uint32_t last) {
  pair(first, "_inc1_s32");
  for (const auto& [offset, name] : entries) pair(offset, name);
  return pair(last, "_retpop10");
}

}  // namespace testkit
