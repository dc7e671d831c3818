// Reads of application memory for walks that visit many small records in
// the same segments (the heap's items, blocks and free lists): a page of the
// segment at a time, each page kept while the walk lasts, so that a walk
// costs a read per page and not one per record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "morvik/state/session.h"

namespace morvik {

class AppMemory {
 public:
  explicit AppMemory(Session& s) : s_(s) {}

  // Reads up to `len` bytes at `far` (selector:offset) into `buf` and
  // returns the bytes got: the read stops at the segment's limit and at
  // memory that is not in the dump. A selector that is not one of the
  // application's reads nothing. The run ends here only where loading the
  // process's page table does (a page table the dump cuts off).
  size_t read(uint32_t far, unsigned char* buf, size_t len);
  // Whether `len` bytes at `far` were all read.
  bool read_all(uint32_t far, unsigned char* buf, size_t len) { return read(far, buf, len) == len; }

  Session& session() const { return s_; }
  // Dump reads made so far (for the benchmark's count and the tests).
  size_t reads() const { return reads_; }

 private:
  static constexpr uint32_t kPage = 0x1000;
  // The bytes of one page of a segment (offsets page * 4096 on, up to the
  // limit) that are in the dump.
  const std::vector<unsigned char>& page(uint16_t selector, uint16_t index);

  Session& s_;
  std::unordered_map<uint32_t, std::vector<unsigned char>> pages_;  // selector << 16 | page index
  size_t reads_ = 0;
};

}  // namespace morvik
