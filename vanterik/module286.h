// The .286 load module in both of its forms: the header and its group
// descriptors, buckets, fixup records, the SRTL table (linker and vanteriked
// entries), the LDT group and the trailer of a merged SYM file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "common/le.h"

namespace vanterik {

using Bytes = std::vector<unsigned char>;

constexpr size_t HDR_SIZE = 128;       // header, and the optional all-zero prefix record
constexpr int NDESC = 10;              // descriptors 0-7 hold groups, 8 the SRTL table, 9 the LDT
constexpr int NGROUPDESC = 8;
constexpr int SRTL_DESC = 8;
constexpr int LDT_DESC = 9;
constexpr uint8_t SRTL_TYPE = 0xFF;
constexpr uint8_t LDT_TYPE = 0xFE;
constexpr uint8_t DROPPED_TYPE = 8;    // cleared in the output, data not carried

// Header fields (offsets from the header base).
constexpr size_t H_LIBTYPE = 96;
constexpr size_t H_LIBFLAGS = 110;
constexpr size_t H_FIXREC = 125;
constexpr size_t H_FIXFLAG = 127;
constexpr uint8_t FIXFLAG_SET = 0x80;

constexpr int NBUCKETS = 8;            // 0 = SRTL table group, 1-7 the groups
constexpr int STACK_BUCKET = 4;
constexpr size_t PARA = 16;

constexpr size_t FIXUP_SIZE = 4;
constexpr size_t FIXUP_BLOCK = 512;    // records per read

constexpr int MAX_SRTL = 20;
constexpr size_t SRTL_LINK_SIZE = 18;
constexpr size_t SRTL_VT_SIZE = 22;
// The largest SRTL table group taken in: the paragraphs that hold 2 + 20 x 18 bytes.
constexpr size_t SRTL_GROUP_MAX_PARAS = (2 + MAX_SRTL * SRTL_LINK_SIZE + PARA - 1) / PARA;

constexpr int LDT_RESERVED = 12;       // indices 0-11 stay zero
constexpr int TABLE_SIZE = 1600;       // selector table positions
constexpr int MAX_POSITIONS = 1586;    // positions a run may use
constexpr size_t LDT_HDR_SIZE = 8;
constexpr size_t LDT_ENTRY_SIZE = 8;
constexpr long LDT_ADDRESSABLE = 8192;  // a 16-bit selector holds a 13-bit index

constexpr size_t SYM_CHUNK = 6144;

// Group descriptor (9 bytes, descriptor n at header offset 9 x n).
struct grp_s {
  uint8_t g_type = 0;
  uint16_t g_len = 0;   // paragraphs stored in the file
  uint16_t g_base = 0;
  uint16_t g_min = 0;
  uint16_t g_max = 0;
};
grp_s get_grp(const unsigned char* header, int n);
void put_grp(unsigned char* header, int n, const grp_s& g);

// Bucket of a group type: 1-7, or 0 when the type has none (0, 8, 10, 12, above 15).
int bucket_of(uint8_t type);
bool is_code_type(uint8_t type);
// "SRTL" ... "ERROR" for 0-11, a fallback name above.
const char* bucket_name(unsigned bucket);

// Fixup record (4 bytes).
struct fix_s {
  uint8_t f_kind = 0;   // high nibble location bucket, low nibble target
  uint16_t f_para = 0;
  uint8_t f_off = 0;
  unsigned loc() const { return f_kind >> 4; }
  unsigned target() const { return f_kind & 0x0F; }
};
// Decoded once per fixup, so kept inline.
inline fix_s get_fix(const unsigned char* p) {
  fix_s f;
  f.f_kind = p[0];
  f.f_para = vt::le16(p + 1);
  f.f_off = p[3];
  return f;
}
void put_fix(unsigned char* p, const fix_s& f);

// LDT entry (8 bytes).
struct ldt_s {
  uint16_t ld_limit = 0;
  uint32_t ld_base = 0;  // 24 bits
  uint8_t ld_bucket = 0;
};
ldt_s get_ldt(const unsigned char* p);
void put_ldt(unsigned char* p, const ldt_s& e);

// LDT header (four words, in file order).
struct ldthdr_s {
  uint16_t lh_max = 0;    // max allowed LDTs
  uint16_t lh_next = 0;   // next free index
  uint16_t lh_base = 0;   // index base
  uint16_t lh_first = 0;  // first used index
};
ldthdr_s get_ldthdr(const unsigned char* p);
void put_ldthdr(unsigned char* p, const ldthdr_s& h);

inline unsigned selector_of(unsigned index) { return index * 8 + 7; }
// LDT group length in paragraphs for P positions in use.
uint16_t ldt_group_paras(int positions);
// Vanteriked SRTL table group length in paragraphs.
uint16_t srtl_group_paras(int sections);

// SRTL entries. The vanteriked entry keeps bytes 0-15 of the linker entry
// (bit 7 of byte 14 set along with bit 0), then 0, the first LDT index and
// the number of LDT entries reserved.
void srtl_to_vanteriked(const unsigned char* link, unsigned char* vt);
constexpr size_t SRTL_FIRST = 18;
constexpr size_t SRTL_RESERVED = 20;

// The file offset of the header: 128 when the first 128 bytes are all zero.
size_t header_base(const unsigned char* first128);

// Group placement, as both the run and the LDT listing see it: bucket 0 is
// the SRTL table group; positions are relative to the header base.
struct Layout {
  uint32_t grppos[NBUCKETS] = {};   // 0 = bucket absent
  uint16_t grplen[NBUCKETS] = {};   // paragraphs
  int grpdesc[NBUCKETS] = {-1, -1, -1, -1, -1, -1, -1, -1};  // descriptor that holds it
  bool present(int b) const { return grppos[b] != 0; }
};
// Registers the SRTL table group and descriptors 0-7. Every group of a
// nonzero type takes its place in the file, registered or not.
Layout register_groups(const unsigned char* header);

// Time stamp of a run.
std::string asctime_text(const std::tm& t);  // "Wed Jan  2 02:03:55 1980\n"
uint32_t packed_time(const std::tm& t);
// Paragraphs a merged SYM of `symsize` bytes takes, trailer included.
uint32_t merged_paras(uint32_t symsize);
// The trailer that follows a merged SYM: merged_paras x 16 - symsize bytes.
Bytes sym_trailer(const std::tm& t, uint32_t symsize);

}  // namespace vanterik
