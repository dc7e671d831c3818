#include "testkit/runtimebuilder.h"

#include <algorithm>
#include <string>

namespace testkit {

namespace {

Bytes record(int level, const std::string& date, size_t date_at, size_t date_len) {
  std::string head = "CBRT" + std::to_string(level);
  Bytes r(date_at + date_len + 1, ' ');
  std::copy(head.begin(), head.end(), r.begin());
  for (size_t i = 0; i < date_len; ++i) r[date_at + i] = i < date.size() ? static_cast<unsigned char>(date[i]) : ' ';
  r.back() = 0;
  return r;
}

}  // namespace

Bytes version_record(int level, const std::string& date) { return record(level, date, 21, 8); }
Bytes shared_version_record(int level, const std::string& date) { return record(level, date, 18, 9); }

}  // namespace testkit
