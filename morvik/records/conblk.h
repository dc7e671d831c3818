// The kernel's driver list entry, console block and virtual console, as
// stored in the dump. Addresses in them are system selector:offsets.
#pragma once
#include <cstdint>
#include <string>

#include "common/le.h"

namespace morvik {

// One entry of the device driver list, 44 bytes.
struct dlestruct {
  static constexpr int kSize = 44;
  uint32_t dl_next = 0;  // next entry, 0 at the end
  uint16_t dl_id = 0;
  unsigned char dl_name[10] = {};  // NUL-terminated unless all 10 are used
  uint16_t dl_type = 0;
  uint8_t dl_unitno = 0;
  uint8_t dl_state = 0;
  uint16_t dl_own = 0;
  uint16_t dl_access = 0;
  uint32_t dl_dhp = 0;
  uint32_t dl_sib = 0;
  uint32_t dl_ctrl1 = 0;  // a console driver's console block; the pipe chain
  uint32_t dl_ctrl2 = 0;
  uint32_t dl_lpb = 0;  // the driver's parameter block

  // The name as text, never longer than its 10 bytes.
  std::string name() const {
    size_t n = 0;
    while (n < sizeof dl_name && dl_name[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(dl_name), n);
  }
};

inline dlestruct decode_dlestruct(const unsigned char* p) {
  dlestruct d;
  d.dl_next = vt::le32(p + 0);
  d.dl_id = vt::le16(p + 4);
  for (size_t i = 0; i < sizeof d.dl_name; ++i) d.dl_name[i] = p[6 + i];
  d.dl_type = vt::le16(p + 16);
  d.dl_unitno = p[18];
  d.dl_state = p[19];
  d.dl_own = vt::le16(p + 20);
  d.dl_access = vt::le16(p + 22);
  d.dl_dhp = vt::le32(p + 24);
  d.dl_sib = vt::le32(p + 28);
  d.dl_ctrl1 = vt::le32(p + 32);
  d.dl_ctrl2 = vt::le32(p + 36);
  d.dl_lpb = vt::le32(p + 40);
  return d;
}

// A console driver's console block, 60 bytes.
struct _conblk {
  static constexpr int kSize = 60;
  uint32_t c_next = 0;
  uint32_t c_vcid = 0;  // the first virtual console
  uint32_t c_bvcid = 0;
  uint32_t c_pid = 0;
  uint32_t c_dle = 0;
  uint32_t c_copen = 0, c_vcopen = 0, c_kbopen = 0, c_mopen = 0;
  uint16_t c_vcnum = 0, c_pvcnum = 0, c_flags = 0, c_childcnt = 0;
  unsigned char c_windname[16] = {};
};

inline _conblk decode_conblk(const unsigned char* p) {
  _conblk c;
  c.c_next = vt::le32(p + 0);
  c.c_vcid = vt::le32(p + 4);
  c.c_bvcid = vt::le32(p + 8);
  c.c_pid = vt::le32(p + 12);
  c.c_dle = vt::le32(p + 16);
  c.c_copen = vt::le32(p + 20);
  c.c_vcopen = vt::le32(p + 24);
  c.c_kbopen = vt::le32(p + 28);
  c.c_mopen = vt::le32(p + 32);
  c.c_vcnum = vt::le16(p + 36);
  c.c_pvcnum = vt::le16(p + 38);
  c.c_flags = vt::le16(p + 40);
  c.c_childcnt = vt::le16(p + 42);
  for (size_t i = 0; i < sizeof c.c_windname; ++i) c.c_windname[i] = p[44 + i];
  return c;
}

// The fields of a virtual console that the screens need. The tree links
// are its first three words; its size and screen buffer lie further in.
struct _vcon {
  static constexpr int kLinksSize = 12;  // parent, child, order
  static constexpr int kSizeAt = 32;     // columns (low half), rows (high half)
  static constexpr int kScreenAt = 274;  // system address of the screen buffer
  uint32_t vc_parent = 0;  // 0 for a root
  uint32_t vc_child = 0;   // first child
  uint32_t vc_order = 0;   // next sibling
};

inline _vcon decode_vcon_links(const unsigned char* p) {
  _vcon v;
  v.vc_parent = vt::le32(p + 0);
  v.vc_child = vt::le32(p + 4);
  v.vc_order = vt::le32(p + 8);
  return v;
}

}  // namespace morvik
