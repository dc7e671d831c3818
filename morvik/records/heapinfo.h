// The BASIC runtimes' heap records, as they lie in application memory: the
// terminal runtime's heap control block, segment header, items and free
// lists, and the controller (big-model) runtime's list blocks. Addresses are
// application selector:offsets.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/le.h"

namespace morvik {

// Heap control block (terminal runtime). The runtime keeps it in a segment
// of its own; MORVIK reads it whole into a copy of the segment's size.
struct heap_info {
  static constexpr size_t kRootsAt = 30;  // the homogeneous free list roots
  uint16_t granularity = 0;
  uint16_t num_homogeneous_freelists = 0;
  uint16_t max_homogeneous = 0;
  uint32_t total_avail = 0;  // in granularity units
  uint16_t num_free_items = 0;
  uint16_t num_segments_allocated = 0;
  int16_t coalesce_strategy = 0;
  uint16_t os_malloc_limit = 0;
  uint32_t first_seg = 0;     // the first heap segment
  uint32_t end_big_list = 0;  // a free item of the big free list
};

// A copy shorter than the fields reads them as 0.
inline heap_info decode_heap_info(const unsigned char* p, size_t n) {
  unsigned char b[heap_info::kRootsAt] = {};
  for (size_t i = 0; i < n && i < sizeof b; ++i) b[i] = p[i];
  heap_info h;
  h.granularity = vt::le16(b + 0);
  h.num_homogeneous_freelists = vt::le16(b + 2);
  h.max_homogeneous = vt::le16(b + 4);
  h.total_avail = vt::le32(b + 6);
  h.num_free_items = vt::le16(b + 10);
  h.num_segments_allocated = vt::le16(b + 12);
  h.coalesce_strategy = static_cast<int16_t>(vt::le16(b + 14));
  h.os_malloc_limit = vt::le16(b + 20);
  h.first_seg = vt::le32(b + 22);
  h.end_big_list = vt::le32(b + 26);
  return h;
}

// Segment header at the start of each heap segment; the items follow it.
struct sentinel_t {
  static constexpr size_t kSize = 22;
  uint16_t len0a = 0;
  uint16_t neg_len0a_plus_U = 0;
  uint16_t len = 0;
  uint16_t seg_len = 0;
  uint8_t granularity = 0;
  uint8_t seg_gas = 0;
  uint32_t next_seg = 0;  // 0 for the last segment
  uint16_t reserved = 0;
  uint16_t neg_len_plus_U = 0;
  uint16_t len0b = 0;
  uint16_t neg_len0b_plus_U = 0;
};

inline sentinel_t decode_sentinel_t(const unsigned char* p) {
  sentinel_t t;
  t.len0a = vt::le16(p + 0);
  t.neg_len0a_plus_U = vt::le16(p + 2);
  t.len = vt::le16(p + 4);
  t.seg_len = vt::le16(p + 6);
  t.granularity = p[8];
  t.seg_gas = p[9];
  t.next_seg = vt::le32(p + 10);
  t.reserved = vt::le16(p + 14);
  t.neg_len_plus_U = vt::le16(p + 16);
  t.len0b = vt::le16(p + 18);
  t.neg_len0b_plus_U = vt::le16(p + 20);
  return t;
}

// A heap item: a 16-bit length L, L bytes of data, a 16-bit trailer T. The
// sum of length and trailer tells in use from free; anything else is
// corrupt. The next item starts L + 4 bytes further.
constexpr uint32_t kItemInUse = 0x10001;
constexpr uint32_t kItemFree = 0x10000;
constexpr size_t kItemOverhead = 4;

// A free item's data: its neighbours on the free list.
struct freelist_t {
  static constexpr size_t kSize = 8;
  uint32_t next = 0;
  uint32_t prev = 0;
};

inline freelist_t decode_freelist_t(const unsigned char* p) { return {vt::le32(p + 0), vt::le32(p + 4)}; }

// What the free-list walk reads of a free item, from its length word on
// (2 bytes before the item's data).
struct buff {
  static constexpr size_t kSize = 10;
  uint16_t len = 0;
  uint32_t next = 0;
  uint32_t prev = 0;
};

inline buff decode_buff(const unsigned char* p) { return {vt::le16(p + 0), vt::le32(p + 2), vt::le32(p + 6)}; }

// Controller runtime list block: a check word that is the ones' complement
// of the length, the next block, the length.
struct ulblock {
  static constexpr size_t kSize = 8;
  uint16_t check = 0;
  uint32_t next = 0;
  uint16_t len = 0;
  bool check_ok() const { return static_cast<uint32_t>(check) + len == 0xFFFF; }
};

inline ulblock decode_ulblock(const unsigned char* p) { return {vt::le16(p + 0), vt::le32(p + 2), vt::le16(p + 6)}; }

// The controller runtime's list head, where "_usedlist" points: two blocks
// of length 0 whose links start the free-base list and the free list.
struct ulhead {
  static constexpr size_t kSize = 16;
  uint32_t freebase = 0;
  uint32_t flistptr = 0;
  bool fixed_ok = false;  // bytes 0-1 and 8-9 are FF FF, bytes 6-7 and 14-15 zero
};

inline ulhead decode_ulhead(const unsigned char* p) {
  ulhead h;
  h.freebase = vt::le32(p + 2);
  h.flistptr = vt::le32(p + 10);
  h.fixed_ok = p[0] == 0xFF && p[1] == 0xFF && p[6] == 0 && p[7] == 0 && p[8] == 0xFF && p[9] == 0xFF &&
               p[14] == 0 && p[15] == 0;
  return h;
}

}  // namespace morvik
