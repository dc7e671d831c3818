// Builds an application's SYM file from a short description: a value and a
// name a line, the labels under "LABELS" (each CODE entry starting a code
// segment at its paragraph), the variables under "VARIABLES" (each DATA
// entry setting the data base), the shared runtime's string-vector block
// from "_inc1_s32" to "_retpop10", and the runtime's own names ("rtdsv",
// "_rtdata", "_crt").
//
//   SymFile f;
//   f.labels().code(0x0010).label(0x0000, "MAIN").label(0x0123, "SALE");
//   f.variables().data(0x0000).variable(0x0004, "COUNT%").rtdsv(0x0400);
//   write_text(path, f.text());
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

class SymFile {
 public:
  // A pair as it stands in the file (for tokens the helpers do not make).
  SymFile& pair(const std::string& value, const std::string& name);
  SymFile& pair(uint32_t value, const std::string& name);

  SymFile& labels() { return pair(0, "LABELS"); }
  SymFile& code(uint32_t paragraph) { return pair(paragraph, "CODE"); }
  SymFile& label(uint32_t offset, const std::string& name) { return pair(offset, name); }
  // The shared runtime's labels: "_inc1_s32" at `first`, the entries, then
  // "_retpop10" at `last` (which ends the labels a shared application's
  // reader takes).
  SymFile& shared_runtime(uint32_t first, const std::vector<std::pair<uint32_t, std::string>>& entries,
                          uint32_t last);

  SymFile& variables() { return pair(0, "VARIABLES"); }
  SymFile& data(uint32_t paragraph) { return pair(paragraph, "DATA"); }
  SymFile& variable(uint32_t offset, const std::string& name) { return pair(offset, name); }
  SymFile& rtdsv(uint32_t offset) { return pair(offset, "rtdsv"); }
  SymFile& rtdata(uint32_t offset) { return pair(offset, "_rtdata"); }
  SymFile& crt(uint32_t offset) { return pair(offset, "_crt"); }

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace testkit
