#include "morvik/addrspace/dumpfunc_appmem.h"

#include <algorithm>
#include <cstring>

#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

const std::vector<unsigned char>& AppMemory::page(uint16_t selector, uint16_t index) {
  uint32_t key = uint32_t{selector} << 16 | index;
  auto it = pages_.find(key);
  if (it != pages_.end()) return it->second;
  std::vector<unsigned char>& bytes = pages_[key];
  const ldt_s d = s_.space.ldt_entry(selector >> 3);
  uint32_t start = uint32_t{index} * kPage;
  uint32_t end = std::min<uint32_t>(start + kPage, uint32_t{d.ld_len} + 1);
  if (start >= end) return bytes;
  bytes.resize(end - start);
  size_t done = 0;
  // The page of the segment may straddle two pages of linear memory, which
  // lie apart in a paged dump: each piece is translated on its own.
  while (start + done < end) {
    uint32_t offset = start + static_cast<uint32_t>(done);
    uint32_t in_page = s_.space.page ? (d.base32() + offset) & (kPage - 1) : 0;
    size_t n = std::min<size_t>(end - offset, s_.space.page ? kPage - in_page : end - offset);
    uint32_t at = getphysoffset(s_, uint32_t{selector} << 16 | offset);
    ++reads_;
    size_t got = s_.dumpfile.read_at(at, bytes.data() + done, n);
    done += got;
    if (got != n) break;
  }
  bytes.resize(done);
  return bytes;
}

size_t AppMemory::read(uint32_t far, unsigned char* buf, size_t len) {
  uint16_t selector = static_cast<uint16_t>(far >> 16);
  int16_t cls = isSelector(s_, selector);
  if (cls != kLdtData && cls != kLdtCode) return 0;
  size_t done = 0;
  while (done < len) {
    uint32_t offset = (far & 0xFFFF) + static_cast<uint32_t>(done);
    if (offset > 0xFFFF) break;  // past the segment
    const std::vector<unsigned char>& p = page(selector, static_cast<uint16_t>(offset / kPage));
    size_t in = offset % kPage;
    if (in >= p.size()) break;
    size_t n = std::min(len - done, p.size() - in);
    std::memcpy(buf + done, p.data() + in, n);
    done += n;
    if (done < len && in + n < kPage) break;  // the page ends short: the limit, or not in the dump
  }
  return done;
}

}  // namespace morvik
