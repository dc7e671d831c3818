// .286 modules for the patcher tests: a header (optionally behind the
// 128-byte zero prefix record), the LDT group and code, into which a test
// plants the runtime's signatures and level markers at chosen file positions.
#pragma once
#include <cstdint>
#include <string>

#include "testkit/tempdir.h"

namespace testkit {

struct PatchModuleLayout {
  size_t size = 4096;           // whole file
  bool zero_prefix = false;     // header at 128 behind 128 zero bytes
  uint8_t srtl_type = 0;        // descriptor 8's type byte; 0xFF: shared runtimes
  uint16_t ldt_paragraphs = 0;  // descriptor 9's length
  uint8_t fill = 0x90;          // the bytes nothing else was planted on
};

class PatchModule {
 public:
  explicit PatchModule(const PatchModuleLayout& layout = {});

  long header_base() const { return base_; }
  // The first byte after the header and the LDT group.
  long code_start() const { return base_ + 128 + ldt_paragraphs_ * 16L; }

  void put(long pos, const Bytes& bytes);
  void put_text(long pos, const std::string& text);

  // The runtime's error-trap site ('T' or 'C'); for 'C', `slot` is what the
  // four uncompared bytes 7 to 10 hold.
  void trap_site(char env, long pos, const Bytes& slot = {0x78, 0x78, 0x75, 0x16});
  // The missing-RESUME data signature and its three flag bytes (at +168 for
  // 'T', at -22 for 'C').
  void missing_resume(char env, long pos, const Bytes& flag);
  // The same data signature with the trace-size word (at +12 for 'T', at -6
  // for 'C').
  void trace_size(char env, long pos, uint16_t entries);
  // "CBRT" and the level's three digits.
  void level(long pos, int cbrt);

  const Bytes& bytes() const { return image_; }
  void write(const std::string& path) const;

 private:
  Bytes image_;
  long base_;
  long ldt_paragraphs_;
};

}  // namespace testkit
