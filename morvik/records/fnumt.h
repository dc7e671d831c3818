// The kernel's records behind the SVC trace and the open files: SVC trace
// entries, SVC parameter blocks, file-number table entries, the control
// blocks they point to, and the file system's operations trace. Decoded
// from little-endian bytes at their fixed offsets.
#pragma once
#include <cstdint>
#include <string>

#include "common/le.h"

namespace morvik {

// One SVC trace entry, 16 bytes.
struct trc {
  static constexpr int kSize = 16;
  static constexpr uint16_t kSvc = 4;  // type of an SVC entry
  uint16_t type = 0;
  uint32_t pd = 0;     // the caller's process descriptor (system address)
  uint32_t parm = 0;
  uint32_t stuff = 0;  // time of the call, milliseconds
  uint16_t func = 0;   // SVC number
};

inline trc decode_trc(const unsigned char* p) {
  trc t;
  t.type = vt::le16(p);
  t.pd = vt::le32(p + 2);
  t.parm = vt::le32(p + 6);
  t.stuff = vt::le32(p + 10);
  t.func = vt::le16(p + 14);
  return t;
}

// An SVC parameter block, 20 bytes.
struct pblk {
  static constexpr int kSize = 20;
  uint8_t mode = 0;
  uint8_t option = 0;  // table number
  uint16_t flag = 0;
  uint32_t swi = 0;    // non-zero: the asynchronous or extended form
  uint32_t parm1 = 0, parm2 = 0, parm3 = 0;
};

inline pblk decode_pblk(const unsigned char* p) {
  pblk b;
  b.mode = p[0];
  b.option = p[1];
  b.flag = vt::le16(p + 2);
  b.swi = vt::le32(p + 4);
  b.parm1 = vt::le32(p + 8);
  b.parm2 = vt::le32(p + 12);
  b.parm3 = vt::le32(p + 16);
  return b;
}

// One file-number table entry, 16 bytes.
struct _fnumt {
  static constexpr int kSize = 16;
  static constexpr uint8_t kOlist = 0x40;  // in fnt_flag: fnt_ctrl is an OLIST
  uint16_t fnt_unique = 0;  // 0: a free entry
  uint8_t fnt_table = 0;
  uint8_t fnt_offset = 0;
  uint32_t fnt_ctrl = 0;  // control block (system address)
  uint8_t fnt_mod = 0;    // manager type
  uint8_t fnt_flag = 0;
  uint16_t fnt_rnid = 0;
  uint32_t fnt_rpid = 0;
};

inline _fnumt decode_fnumt(const unsigned char* p) {
  _fnumt f;
  f.fnt_unique = vt::le16(p);
  f.fnt_table = p[2];
  f.fnt_offset = p[3];
  f.fnt_ctrl = vt::le32(p + 4);
  f.fnt_mod = p[8];
  f.fnt_flag = p[9];
  f.fnt_rnid = vt::le16(p + 10);
  f.fnt_rpid = vt::le32(p + 12);
  return f;
}

// Manager types of fnt_mod.
constexpr uint8_t kModPipe = 1, kModDisk = 2, kModCon = 3, kModNfs = 5, kModNet = 6, kModMisc = 7;

// The fields used of a remote file's OLIST (586 bytes).
struct OLIST {
  static constexpr int kSize = 586;
  static constexpr uint16_t kDevice = 0x8000;  // in ol_flags
  static constexpr int kNameAt = 40;
  uint16_t ol_nid = 0, ol_fid = 0, ol_rpid = 0, ol_flags = 0;
};

inline OLIST decode_olist(const unsigned char* p) {
  OLIST o;
  o.ol_nid = vt::le16(p + 16);
  o.ol_fid = vt::le16(p + 18);
  o.ol_rpid = vt::le16(p + 20);
  o.ol_flags = vt::le16(p + 30);
  return o;
}

// The 252-byte control block of a file-number entry, read through its
// three layouts: a disk file's FSF0DACB, an ofilestruct (pipes) and a
// network file's RSFCOMD1.
struct FSF0DACB {
  static constexpr int kSize = 252;
  static constexpr int kFilespecAt = 124;
  uint16_t ACB_rnid = 0, ACB_rfid = 0, ACB_rpid = 0;
  // ofilestruct
  uint32_t of_ctrl = 0;
  uint16_t of_rnid = 0, of_rfid = 0, of_rpid = 0;
  // RSFCOMD1
  uint32_t RSF_FILE_NAME = 0;
  uint16_t RSF_RNID = 0, RSF_RFID = 0;
  uint32_t RSF_RPID = 0;
};

inline FSF0DACB decode_fsf0dacb(const unsigned char* p) {
  FSF0DACB d;
  d.ACB_rnid = vt::le16(p + 24);
  d.ACB_rfid = vt::le16(p + 26);
  d.ACB_rpid = vt::le16(p + 28);
  d.of_ctrl = vt::le32(p + 4);
  d.of_rnid = vt::le16(p + 8);
  d.of_rfid = vt::le16(p + 10);
  d.of_rpid = vt::le16(p + 12);
  d.RSF_FILE_NAME = vt::le32(p + 56);
  d.RSF_RNID = vt::le16(p + 68);
  d.RSF_RFID = vt::le16(p + 70);
  d.RSF_RPID = vt::le32(p + 72);
  return d;
}

// The file system's common data (154 bytes): where its operations trace is.
struct FSFCCOMD_s {
  static constexpr int kSize = 154;
  uint32_t FSF2trace = 0;  // the trace (system address)
  uint32_t FSF2tptr = 0;   // its next slot
};

inline FSFCCOMD_s decode_fsfccomd(const unsigned char* p) {
  FSFCCOMD_s c;
  c.FSF2trace = vt::le32(p + 146);
  c.FSF2tptr = vt::le32(p + 150);
  return c;
}

// One slot of the operations trace, 80 bytes; the trace has 200.
struct FSF0FSTR {
  static constexpr int kSize = 80;
  static constexpr int kSlots = 200;
  static constexpr int kNameAt = 16, kNameLen = 16;
  static constexpr int kDataAt = 64, kDataLen = 16;
  static constexpr unsigned char kNameEnd = 0xEE;
  uint16_t FUNC = 0;  // 0: an empty slot
  int32_t RC = 0;
  uint32_t RPID = 0;
  uint16_t RNID = 0;
  int32_t RESV = 0;     // time of day, milliseconds
  uint32_t offset = 0;  // PLST + 20: the file offset
};

inline FSF0FSTR decode_fsf0fstr(const unsigned char* p) {
  FSF0FSTR t;
  t.FUNC = vt::le16(p);
  t.RC = static_cast<int32_t>(vt::le32(p + 2));
  t.RPID = vt::le32(p + 6);
  t.RNID = vt::le16(p + 10);
  t.RESV = static_cast<int32_t>(vt::le32(p + 12));
  t.offset = vt::le32(p + 52);
  return t;
}

}  // namespace morvik
