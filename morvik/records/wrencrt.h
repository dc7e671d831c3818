// The controller (big-model) runtime's records in the application's data
// segment: the runtime data block (c_crt), its registers (c_rtdata) and
// the saved-error blocks chained from it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/le.h"

namespace morvik {

struct wren_crt {
  static constexpr size_t kSize = 1255;
  static constexpr size_t kSavedAt = 0x116;    // the part saved on each ON ERROR
  static constexpr size_t kSavedLen = 477;
  static constexpr size_t kSavedLink = 0x2EF;  // the latest saved-error block
  uint32_t stdinnum = 0, stdoutnum = 0;
  uint32_t sessions = 0;  // the session table
  uint32_t valid1 = 0, valid2 = 0;
  int16_t session = 0;
  uint16_t referencing = 0;
  uint32_t async_routine = 0;
  uint32_t saved = 0;
  int16_t swi_count = 0;
  char separator = 0, currency = 0, sepdec = 0;
  uint16_t security = 0;
};

inline wren_crt decode_wren_crt(const unsigned char* p) {
  wren_crt c;
  c.stdinnum = vt::le32(p);
  c.stdoutnum = vt::le32(p + 4);
  c.sessions = vt::le32(p + 0x18);
  c.valid1 = vt::le32(p + 0x20);
  c.valid2 = vt::le32(p + 0x108);
  c.session = static_cast<int16_t>(vt::le16(p + 0x11A));
  c.referencing = vt::le16(p + 0x11D);
  c.async_routine = vt::le32(p + 0x11F);
  c.saved = vt::le32(p + 0x2EF);
  c.swi_count = static_cast<int16_t>(vt::le16(p + 0x2F4));
  c.separator = static_cast<char>(p[0x2FC]);
  c.currency = static_cast<char>(p[0x2FD]);
  c.sepdec = static_cast<char>(p[0x2FE]);
  c.security = vt::le16(p + 0x309);
  return c;
}

// The runtime registers (229 bytes read; a saved block holds their first 91).
struct wren_rtdata {
  static constexpr size_t kSize = 229;
  static constexpr size_t kSavedLen = 91;
  uint16_t sig1 = 0, sig2 = 0;  // 0x005B, 0x00E7
  int16_t savesp1 = 0;
  unsigned char errc[2] = {};  // printed errc[1] first
  uint32_t errn = 0;
  int16_t errio = 0;
  uint32_t on_error = 0;
  int16_t debug_line = 0;
};

// `n` bytes of `p` hold the registers; fields past them read as 0.
inline wren_rtdata decode_wren_rtdata(const unsigned char* p, size_t n) {
  unsigned char b[wren_rtdata::kSize] = {};
  for (size_t i = 0; i < n && i < sizeof b; ++i) b[i] = p[i];
  wren_rtdata r;
  r.sig1 = vt::le16(b);
  r.sig2 = vt::le16(b + 2);
  r.savesp1 = static_cast<int16_t>(vt::le16(b + 0x4F));
  r.errc[0] = b[0x53];
  r.errc[1] = b[0x54];
  r.errn = vt::le32(b + 0x55);
  r.errio = static_cast<int16_t>(vt::le16(b + 0x59));
  r.on_error = vt::le32(b + 0x5B);
  r.debug_line = static_cast<int16_t>(vt::le16(b + 0x61));
  return r;
}

}  // namespace morvik
