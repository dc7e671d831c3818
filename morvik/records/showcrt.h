// The terminal BASIC runtime's records in the application's data segment:
// the error history after "net==>" (alstuff, its ring of alserrtrc), the
// runtime data "CRTDATA" (_crt, _crt2), a session's fileinfo, the runtime
// registers "RTDATA", and a block of the saved-error chain.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/le.h"

namespace morvik {

// One error of the ring.
struct alserrtrc {
  static constexpr size_t kSize = 16;
  unsigned char err[4] = {};  // the two-letter code, unused, the repeat count
  unsigned char errnum_bytes[4] = {};
  unsigned char timestmp[8] = {};
  uint32_t errnum() const { return vt::le32(errnum_bytes); }
};

// The error history.
struct alstuff_s {
  static constexpr size_t kSize = 366;
  int16_t arnnet = 0;  // errors not yet resumed
  int16_t next = 0;    // the ring slot written next
  std::array<alserrtrc, 16> ring{};
  std::array<uint8_t, 16> session{};  // per ring slot (low byte of the word)
  uint16_t arnoeptr = 0;
  std::array<unsigned char, 48> arnoebuf{};
};

inline alstuff_s decode_alstuff(const unsigned char* p) {
  alstuff_s a;
  a.arnnet = static_cast<int16_t>(vt::le16(p));
  a.next = static_cast<int16_t>(vt::le16(p + 8));
  for (size_t i = 0; i < 16; ++i) {
    const unsigned char* e = p + 10 + i * alserrtrc::kSize;
    for (size_t j = 0; j < 4; ++j) a.ring[i].err[j] = e[j];
    for (size_t j = 0; j < 4; ++j) a.ring[i].errnum_bytes[j] = e[4 + j];
    for (size_t j = 0; j < 8; ++j) a.ring[i].timestmp[j] = e[8 + j];
    a.session[i] = p[274 + 2 * i];
  }
  a.arnoeptr = vt::le16(p + 316);
  for (size_t j = 0; j < 48; ++j) a.arnoebuf[j] = p[318 + j];
  return a;
}

// The runtime data, in the form of levels below 48 (_crt) or from 48 on
// (_crt2); the fields MORVIK uses.
struct crt_s {
  static constexpr size_t kSize1 = 1467;
  static constexpr size_t kSize2 = 1487;
  static constexpr size_t kIfEnd = 16;
  static constexpr size_t kFiles = 868;
  static constexpr size_t kMaxSessions = 105;  // sessions 0 to 104
  bool second_form = false;
  std::array<uint32_t, kMaxSessions> ifend{};  // IF END routine per session
  int16_t last_session = 0;
  int16_t accessing = 0;
  uint32_t async_routine = 0;
  uint32_t saved_errors = 0;  // the first saved error block
  int16_t swi_count = 0;
  int16_t event = 0;
  std::array<uint32_t, kMaxSessions> files{};  // each session's fileinfo
  int16_t pelton = 0;
};

// `p` holds the record's size of its form.
inline crt_s decode_crt(const unsigned char* p, bool second_form) {
  crt_s c;
  c.second_form = second_form;
  for (size_t i = 0; i < crt_s::kMaxSessions; ++i) {
    c.ifend[i] = vt::le32(p + crt_s::kIfEnd + 4 * i);
    c.files[i] = vt::le32(p + crt_s::kFiles + 4 * i);
  }
  c.last_session = static_cast<int16_t>(vt::le16(p + 440));
  c.accessing = static_cast<int16_t>(vt::le16(p + 443));
  c.async_routine = vt::le32(p + 445);
  c.saved_errors = vt::le32(p + 836);
  c.swi_count = static_cast<int16_t>(vt::le16(p + 841));
  c.event = static_cast<int16_t>(vt::le16(p + 864));
  c.pelton = static_cast<int16_t>(vt::le16(p + (second_form ? 1483 : 1463)));
  return c;
}

// A session (42 bytes; 64 are read).
struct fileinfo {
  static constexpr size_t kSize = 42;
  uint32_t fnum = 0;
  uint32_t filename = 0;
  uint32_t buffer = 0;
  uint32_t recptr = 0, buffend = 0, hardend = 0;
  uint16_t flag = 0, recsz = 0, buffnum = 0, buffsize = 0;
  uint32_t offset = 0, filesize = 0;
  uint8_t ptrrtnflag = 0;
  uint8_t devnum = 0;  // non-zero for a device session
};

inline fileinfo decode_fileinfo(const unsigned char* p) {
  fileinfo f;
  f.fnum = vt::le32(p);
  f.filename = vt::le32(p + 4);
  f.buffer = vt::le32(p + 8);
  f.recptr = vt::le32(p + 12);
  f.buffend = vt::le32(p + 16);
  f.hardend = vt::le32(p + 20);
  f.flag = vt::le16(p + 24);
  f.recsz = vt::le16(p + 26);
  f.buffnum = vt::le16(p + 28);
  f.buffsize = vt::le16(p + 30);
  f.offset = vt::le32(p + 32);
  f.filesize = vt::le32(p + 36);
  f.ptrrtnflag = p[40];
  f.devnum = p[41];
  return f;
}

// The runtime registers.
struct rtdata_s {
  static constexpr size_t kSize = 317;
};

// A block of the saved-error chain: the 404 bytes of the runtime data's
// block buffer (the next block's address in their last 4), 4 bytes, then
// the copy of the runtime registers.
struct saved_error_s {
  static constexpr size_t kSize = 404 + 4 + rtdata_s::kSize;
  static constexpr size_t kNext = 400;
  static constexpr size_t kRtdata = 408;
  uint32_t next = 0;
  int16_t savesp1 = 0;
  unsigned char errc[2] = {};
  uint32_t errn = 0;
  int16_t errio = 0;
};

// `low` is 4 for runtime levels below 40, whose fields lie 4 bytes lower.
inline saved_error_s decode_saved_error(const unsigned char* p, size_t low) {
  saved_error_s e;
  const unsigned char* r = p + saved_error_s::kRtdata - low;
  e.next = vt::le32(p + saved_error_s::kNext);
  e.savesp1 = static_cast<int16_t>(vt::le16(r + 85));
  e.errc[0] = r[89];
  e.errc[1] = r[90];
  e.errn = vt::le32(r + 91);
  e.errio = static_cast<int16_t>(vt::le16(r + 95));
  return e;
}

}  // namespace morvik
