// The kernel's process descriptor and memory descriptor, as stored in the dump.
#pragma once
#include <cstdint>
#include <cstring>

#include "common/le.h"

namespace morvik {

// Process descriptor, 248 bytes; pointers are system addresses.
struct _pd {
  static constexpr int kSize = 248;
  uint32_t p_link = 0;
  uint32_t p_thread = 0;
  uint32_t p_regsav = 0;
  uint32_t p_uda = 0;
  char p_name[11] = {};  // 10 bytes, blank or NUL padded, plus a terminator
  uint8_t p_stat = 0;
  uint8_t p_prior = 0;
  uint16_t p_flag = 0;
  uint16_t p_type = 0;
  uint32_t p_evbits = 0;
  uint32_t p_evwait = 0;
  uint32_t p_evflg = 0;
  uint32_t p_swilist = 0;
  uint32_t p_evlist = 0;
  uint32_t p_term = 0;
  uint32_t p_curmem = 0;
  uint32_t p_parent = 0;
  unsigned char p_stdfil[16] = {};
  uint16_t p_secur = 0;
  uint16_t p_flag1 = 0;
  uint8_t p_user = 0;
  uint8_t p_group = 0;
  uint16_t p_fid = 0;
  uint32_t p_pid = 0;
  uint16_t p_rnid = 0;
  uint16_t p_rfid = 0;
  uint32_t p_rpid = 0;
  uint8_t p_cid = 0;
  uint8_t p_vcid = 0;
  uint8_t p_tkcnt = 0;
  uint8_t p_abort = 0;
  uint32_t p_bda = 0;
  uint32_t p_cda = 0;
  uint32_t p_feptr = 0;
  uint32_t p_def = 0;
  uint32_t p_mget = 0;
  uint32_t p_xlat = 0;
  uint32_t p_emaster = 0;
  uint32_t p_eslave = 0;
  uint32_t p_master = 0;
  uint32_t p_savwait = 0;
  uint32_t p_swistk = 0;
  uint16_t p_swienable = 0;
  uint16_t p_stksiz = 0;
  uint32_t p_systak = 0;
  uint32_t p_cmdenv = 0;
  uint32_t p_npx = 0;
  uint32_t p_srtl = 0;
  uint32_t p_ldt = 0;
  uint32_t p_maxmem = 0;
  uint32_t p_mem[4] = {};  // chain heads: code, static data, other data (heap), stack
  uint32_t p_level = 0;
  uint32_t p_stay = 0;
  uint32_t p_abortc = 0;
  uint32_t p_stdwait = 0;
  uint32_t p_ovsp = 0;
  uint32_t p_tevnt = 0;
  uint32_t p_cr3 = 0;
  uint32_t p_memmap = 0;
  uint32_t p_subproc = 0;
  uint32_t p_memsync = 0;
  uint32_t p_code = 0;
  uint32_t p_data = 0;
  uint32_t p_posix = 0;
  uint16_t p_swipdisable = 0;
  uint16_t p_swiedisable = 0;
};

inline _pd decode_pd(const unsigned char* p) {
  _pd d;
  d.p_link = vt::le32(p + 0);
  d.p_thread = vt::le32(p + 4);
  d.p_regsav = vt::le32(p + 8);
  d.p_uda = vt::le32(p + 12);
  std::memcpy(d.p_name, p + 16, 10);
  d.p_stat = p[26];
  d.p_prior = p[27];
  d.p_flag = vt::le16(p + 28);
  d.p_type = vt::le16(p + 30);
  d.p_evbits = vt::le32(p + 32);
  d.p_evwait = vt::le32(p + 36);
  d.p_evflg = vt::le32(p + 40);
  d.p_swilist = vt::le32(p + 44);
  d.p_evlist = vt::le32(p + 48);
  d.p_term = vt::le32(p + 52);
  d.p_curmem = vt::le32(p + 56);
  d.p_parent = vt::le32(p + 60);
  std::memcpy(d.p_stdfil, p + 64, 16);
  d.p_secur = vt::le16(p + 80);
  d.p_flag1 = vt::le16(p + 82);
  d.p_user = p[84];
  d.p_group = p[85];
  d.p_fid = vt::le16(p + 86);
  d.p_pid = vt::le32(p + 88);
  d.p_rnid = vt::le16(p + 92);
  d.p_rfid = vt::le16(p + 94);
  d.p_rpid = vt::le32(p + 96);
  d.p_cid = p[100];
  d.p_vcid = p[101];
  d.p_tkcnt = p[102];
  d.p_abort = p[103];
  d.p_bda = vt::le32(p + 104);
  d.p_cda = vt::le32(p + 108);
  d.p_feptr = vt::le32(p + 112);
  d.p_def = vt::le32(p + 116);
  d.p_mget = vt::le32(p + 120);
  d.p_xlat = vt::le32(p + 124);
  d.p_emaster = vt::le32(p + 128);
  d.p_eslave = vt::le32(p + 132);
  d.p_master = vt::le32(p + 136);
  d.p_savwait = vt::le32(p + 140);
  d.p_swistk = vt::le32(p + 144);
  d.p_swienable = vt::le16(p + 148);
  d.p_stksiz = vt::le16(p + 150);
  d.p_systak = vt::le32(p + 152);
  d.p_cmdenv = vt::le32(p + 156);
  d.p_npx = vt::le32(p + 160);
  d.p_srtl = vt::le32(p + 164);
  d.p_ldt = vt::le32(p + 168);
  d.p_maxmem = vt::le32(p + 172);
  for (int i = 0; i < 4; ++i) d.p_mem[i] = vt::le32(p + 176 + 4 * i);
  d.p_level = vt::le32(p + 192);
  d.p_stay = vt::le32(p + 196);
  d.p_abortc = vt::le32(p + 200);
  d.p_stdwait = vt::le32(p + 204);
  d.p_ovsp = vt::le32(p + 208);
  d.p_tevnt = vt::le32(p + 212);
  d.p_cr3 = vt::le32(p + 216);
  d.p_memmap = vt::le32(p + 220);
  d.p_subproc = vt::le32(p + 224);
  d.p_memsync = vt::le32(p + 228);
  d.p_code = vt::le32(p + 232);
  d.p_data = vt::le32(p + 236);
  d.p_posix = vt::le32(p + 240);
  d.p_swipdisable = vt::le16(p + 244);
  d.p_swiedisable = vt::le16(p + 246);
  return d;
}

// Memory descriptor, 32 bytes.
struct md {
  static constexpr int kSize = 32;
  uint32_t m_link = 0;
  uint32_t m_start = 0;
  uint32_t m_length = 0;
  uint32_t m_lbase = 0;  // far address (selector:offset) of the area
  uint32_t m_alink = 0;
  uint32_t m_orig = 0;
  uint16_t m_flags = 0;  // 0x40: shared area
  uint32_t shortm_waste = 0;
  uint8_t m_use = 0;
  uint8_t m_lock = 0;
};

inline md decode_md(const unsigned char* p) {
  md m;
  m.m_link = vt::le32(p + 0);
  m.m_start = vt::le32(p + 4);
  m.m_length = vt::le32(p + 8);
  m.m_lbase = vt::le32(p + 12);
  m.m_alink = vt::le32(p + 16);
  m.m_orig = vt::le32(p + 20);
  m.m_flags = vt::le16(p + 24);
  m.shortm_waste = vt::le32(p + 26);
  m.m_use = p[30];
  m.m_lock = p[31];
  return m;
}

}  // namespace morvik
