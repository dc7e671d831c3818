// The terminal communication area (TCOMD) and the register record of the
// MARRA terminal (tmcpc) inside it, as stored in the dump.
#pragma once
#include <cstdint>
#include <cstring>

#include "common/le.h"

namespace morvik {

// Processor state of the MARRA kernel, 64 bytes.
struct tmcpc {
  static constexpr int kSize = 64;
  uint8_t ind = 0;
  uint8_t vec = 0;  // exception vector
  uint16_t ax = 0, cx = 0, dx = 0, bx = 0, sp = 0, bp = 0, si = 0, di = 0;
  uint16_t cs = 0, ds = 0, es = 0, ss = 0, sldt = 0;
  unsigned char sgdt[6] = {};
  unsigned char sidt[6] = {};
  uint16_t flags = 0;
  uint32_t tempinst = 0;
  uint8_t appldump = 0, splopt = 0, sploff = 0, splmas = 0;
  uint32_t totalmem = 0;
  uint16_t errcode = 0;
  uint16_t ramds = 0;
  unsigned char pads[6] = {};
};

inline tmcpc decode_tmcpc(const unsigned char* p) {
  tmcpc r;
  r.ind = p[0];
  r.vec = p[1];
  r.ax = vt::le16(p + 2);
  r.cx = vt::le16(p + 4);
  r.dx = vt::le16(p + 6);
  r.bx = vt::le16(p + 8);
  r.sp = vt::le16(p + 10);
  r.bp = vt::le16(p + 12);
  r.si = vt::le16(p + 14);
  r.di = vt::le16(p + 16);
  r.cs = vt::le16(p + 18);
  r.ds = vt::le16(p + 20);
  r.es = vt::le16(p + 22);
  r.ss = vt::le16(p + 24);
  r.sldt = vt::le16(p + 26);
  std::memcpy(r.sgdt, p + 28, 6);
  std::memcpy(r.sidt, p + 34, 6);
  r.flags = vt::le16(p + 40);
  r.tempinst = vt::le32(p + 42);
  r.appldump = p[46];
  r.splopt = p[47];
  r.sploff = p[48];
  r.splmas = p[49];
  r.totalmem = vt::le32(p + 50);
  r.errcode = vt::le16(p + 54);
  r.ramds = vt::le16(p + 56);
  std::memcpy(r.pads, p + 58, 6);
  return r;
}

// Terminal communication area, 1070 bytes. TCD_head holds the terminal
// number at its offset 0 and the MOD2 terminal number at its offset 101.
struct TCOMD_s {
  static constexpr int kSize = 1070;
  uint16_t TCD_swbug_cps = 0;
  uint16_t TCD_swbg_code = 0;
  uint32_t TCD_swbig_rc = 0;
  uint8_t TCD_ramsaved = 0;
  uint8_t TCD_reserved = 0;
  uint32_t TCD_ramr = 0;
  uint16_t TCD_res2 = 0;
  unsigned char TCD_error[64] = {};
  uint32_t SSD_EC = 0;
  uint8_t TCD_iplcomplete = 0;
  uint8_t TCD_pld = 0;
  unsigned char TCD_regsave[64] = {};
  tmcpc TCD_mreg;
  uint32_t TCD_mfail = 0;
  uint8_t TCD_mcpc_counter = 0;
  uint8_t TCD_iplreason = 0;
  uint8_t TCD_tipl = 0;
  uint8_t TCD_kbcf = 0;
  uint8_t TCD_dumreason = 0;
  uint8_t TCD_dpg = 0;
  unsigned char TCD_vec[92] = {};
  uint32_t TCD_time = 0;
  uint32_t TCD_date = 0;
  unsigned char TCDU[64] = {};
  uint32_t TCD_printer = 0;
  uint32_t TCD_and_slices = 0;
  uint32_t TCD_respool = 0;
  uint32_t TCD_trace = 0;
  unsigned char TCD_head[202] = {};
  uint8_t TCD_tr_flag = 0;
  uint8_t TCD_fsflag = 0;
  uint8_t TCD_96resv = 0;
  uint32_t TCD_PIXdout = 0;
  uint32_t TCD_PIXmout = 0;
  uint32_t TCD_PIXin = 0;
  uint32_t TCD_PIXcmin = 0;
  uint8_t TCD_memact = 0;
  uint8_t TCD_rpost_PITaddr = 0;
  uint8_t TCD_98resev = 0;
  unsigned char TCD_drtyp[216] = {};
  uint16_t TCD_partner = 0;
  unsigned char rol_flag[40] = {};
  unsigned char ec_level[40] = {};
  uint8_t rpost_off = 0;
  uint16_t TCD_rosv = 0;
  uint32_t TCD_A_N_scan = 0;
  uint32_t TCD_ds_phyaddr = 0;
  uint32_t TCD_debug_p = 0;
  uint32_t TCD_pivt = 0;
  unsigned char TCD_piet[8] = {};
  uint8_t TCD_bu_status = 0;
  uint32_t TCD_dcs_fnum = 0;
  unsigned char cmdtail1[16] = {};
  unsigned char cmdtail2[16] = {};
  uint32_t glob1 = 0;
  uint32_t glob2 = 0;
  uint32_t applodr_pid = 0;
  uint32_t appl_pid = 0;
  uint32_t TCD_m_more_appls = 0;
  uint32_t TCD_r_more_appls = 0;
  uint32_t TCD_TST_pid = 0;
  uint32_t TCD_term_ext = 0;
  unsigned char TCD_kbdindex[16] = {};
  uint32_t TCD_OSsz = 0;
  uint32_t TCD_OSps = 0;
  uint32_t TCD_ramdisk_memory = 0;
  uint32_t TCD_ipl_return_codes = 0;
  uint32_t TCD_kbd_microcode_updates = 0;
  uint32_t TCD_storage_waste = 0;
  uint16_t TCD_usUPLjava = 0;
  uint32_t TCD_j_more_appls = 0;
  uint16_t TCD_loadshrink_active = 0;

  uint16_t terminal() const { return vt::le16(TCD_head + 0); }
  uint16_t mod2_terminal() const { return vt::le16(TCD_head + 101); }
  uint16_t store() const { return vt::le16(TCDU + 6); }
};

inline TCOMD_s decode_TCOMD_s(const unsigned char* p) {
  TCOMD_s r;
  r.TCD_swbug_cps = vt::le16(p + 0);
  r.TCD_swbg_code = vt::le16(p + 2);
  r.TCD_swbig_rc = vt::le32(p + 4);
  r.TCD_ramsaved = p[8];
  r.TCD_reserved = p[9];
  r.TCD_ramr = vt::le32(p + 10);
  r.TCD_res2 = vt::le16(p + 14);
  std::memcpy(r.TCD_error, p + 16, 64);
  r.SSD_EC = vt::le32(p + 80);
  r.TCD_iplcomplete = p[84];
  r.TCD_pld = p[85];
  std::memcpy(r.TCD_regsave, p + 86, 64);
  r.TCD_mreg = decode_tmcpc(p + 150);
  r.TCD_mfail = vt::le32(p + 214);
  r.TCD_mcpc_counter = p[218];
  r.TCD_iplreason = p[219];
  r.TCD_tipl = p[220];
  r.TCD_kbcf = p[221];
  r.TCD_dumreason = p[222];
  r.TCD_dpg = p[223];
  std::memcpy(r.TCD_vec, p + 224, 92);
  r.TCD_time = vt::le32(p + 316);
  r.TCD_date = vt::le32(p + 320);
  std::memcpy(r.TCDU, p + 324, 64);
  r.TCD_printer = vt::le32(p + 388);
  r.TCD_and_slices = vt::le32(p + 392);
  r.TCD_respool = vt::le32(p + 396);
  r.TCD_trace = vt::le32(p + 400);
  std::memcpy(r.TCD_head, p + 404, 202);
  r.TCD_tr_flag = p[606];
  r.TCD_fsflag = p[607];
  r.TCD_96resv = p[608];
  r.TCD_PIXdout = vt::le32(p + 609);
  r.TCD_PIXmout = vt::le32(p + 613);
  r.TCD_PIXin = vt::le32(p + 617);
  r.TCD_PIXcmin = vt::le32(p + 621);
  r.TCD_memact = p[625];
  r.TCD_rpost_PITaddr = p[626];
  r.TCD_98resev = p[627];
  std::memcpy(r.TCD_drtyp, p + 628, 216);
  r.TCD_partner = vt::le16(p + 844);
  std::memcpy(r.rol_flag, p + 846, 40);
  std::memcpy(r.ec_level, p + 886, 40);
  r.rpost_off = p[926];
  r.TCD_rosv = vt::le16(p + 927);
  r.TCD_A_N_scan = vt::le32(p + 929);
  r.TCD_ds_phyaddr = vt::le32(p + 933);
  r.TCD_debug_p = vt::le32(p + 937);
  r.TCD_pivt = vt::le32(p + 941);
  std::memcpy(r.TCD_piet, p + 945, 8);
  r.TCD_bu_status = p[953];
  r.TCD_dcs_fnum = vt::le32(p + 954);
  std::memcpy(r.cmdtail1, p + 958, 16);
  std::memcpy(r.cmdtail2, p + 974, 16);
  r.glob1 = vt::le32(p + 990);
  r.glob2 = vt::le32(p + 994);
  r.applodr_pid = vt::le32(p + 998);
  r.appl_pid = vt::le32(p + 1002);
  r.TCD_m_more_appls = vt::le32(p + 1006);
  r.TCD_r_more_appls = vt::le32(p + 1010);
  r.TCD_TST_pid = vt::le32(p + 1014);
  r.TCD_term_ext = vt::le32(p + 1018);
  std::memcpy(r.TCD_kbdindex, p + 1022, 16);
  r.TCD_OSsz = vt::le32(p + 1038);
  r.TCD_OSps = vt::le32(p + 1042);
  r.TCD_ramdisk_memory = vt::le32(p + 1046);
  r.TCD_ipl_return_codes = vt::le32(p + 1050);
  r.TCD_kbd_microcode_updates = vt::le32(p + 1054);
  r.TCD_storage_waste = vt::le32(p + 1058);
  r.TCD_usUPLjava = vt::le16(p + 1062);
  r.TCD_j_more_appls = vt::le32(p + 1064);
  r.TCD_loadshrink_active = vt::le16(p + 1068);
  return r;
}

}  // namespace morvik
