// Record layouts of the descriptor tables and of the kernel's BSX symbol
// file. Each record is decoded from bytes at its fixed little-endian offsets.
#pragma once
#include <cstdint>
#include <string>

#include "common/le.h"

namespace morvik {

// One 8-byte GDT descriptor as stored in the dump.
struct GDT_entry {
  static constexpr int kSize = 8;
  uint16_t lim = 0;
  uint32_t base = 0;  // low 24 bits: base bits 0-23; top byte: access rights
  uint8_t resv = 0;
  uint8_t base31_24 = 0;

  uint32_t base24() const { return base & 0x00FFFFFFu; }
  uint8_t access() const { return static_cast<uint8_t>(base >> 24); }
  uint32_t base32() const { return base24() + (static_cast<uint32_t>(base31_24) << 24); }
};

inline GDT_entry decode_GDT_entry(const unsigned char* p) {
  GDT_entry e;
  e.lim = vt::le16(p + 0);
  e.base = vt::le32(p + 2);
  e.resv = p[6];
  e.base31_24 = p[7];
  return e;
}

// One 8-byte LDT descriptor.
struct ldt_s {
  static constexpr int kSize = 8;
  uint16_t ld_len = 0;
  uint32_t ld_base = 0;  // 24 bits
  uint8_t ld_access = 0;
  uint8_t reserv = 0;
  uint8_t hi_base = 0;

  uint32_t base32() const { return ld_base + (static_cast<uint32_t>(hi_base) << 24); }
  uint8_t type() const { return ld_access & 0x0F; }
  bool is_code() const { return (ld_access & 0x08) != 0; }
};

inline ldt_s decode_ldt_s(const unsigned char* p) {
  ldt_s e;
  e.ld_len = vt::le16(p + 0);
  e.ld_base = static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[3]) << 8) | (static_cast<uint32_t>(p[4]) << 16);
  e.ld_access = p[5];
  e.reserv = p[6];
  e.hi_base = p[7];
  return e;
}

// The 8-byte header of an LDT object in the dump.
struct ldth_s {
  static constexpr int kSize = 8;
  int16_t numldt = 0;
  int16_t ldt_top = 0;
  int16_t ldt_base = 0;
  int16_t reserv = 0;
};

inline ldth_s decode_ldth_s(const unsigned char* p) {
  ldth_s h;
  h.numldt = static_cast<int16_t>(vt::le16(p + 0));
  h.ldt_top = static_cast<int16_t>(vt::le16(p + 2));
  h.ldt_base = static_cast<int16_t>(vt::le16(p + 4));
  h.reserv = static_cast<int16_t>(vt::le16(p + 6));
  return h;
}

// One 22-byte record of the kernel's BSX symbol file.
struct sym_s {
  static constexpr int kSize = 22;
  uint16_t offset = 0;
  uint16_t size = 0;
  uint32_t segment = 0;
  uint8_t section = 0;
  std::string name;  // at most 12 characters; longer names stand cut
};

inline sym_s decode_sym_s(const unsigned char* p) {
  sym_s s;
  s.offset = vt::le16(p + 0);
  s.size = vt::le16(p + 2);
  s.segment = vt::le32(p + 4);
  s.section = p[8];
  const unsigned char* n = p + 9;
  size_t len = 0;
  while (len < 13 && n[len] != 0) ++len;
  s.name.assign(reinterpret_cast<const char*>(n), len);
  return s;
}

// Offset of the first symbol record in a BSX file (the header is skipped).
constexpr uint32_t kBsxHeaderSize = 122;

}  // namespace morvik
