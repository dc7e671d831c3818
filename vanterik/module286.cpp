#include "vanterik/module286.h"

#include "common/console.h"
#include "common/le.h"

namespace vanterik {

grp_s get_grp(const unsigned char* header, int n) {
  const unsigned char* p = header + 9 * n;
  grp_s g;
  g.g_type = p[0];
  g.g_len = vt::le16(p + 1);
  g.g_base = vt::le16(p + 3);
  g.g_min = vt::le16(p + 5);
  g.g_max = vt::le16(p + 7);
  return g;
}

void put_grp(unsigned char* header, int n, const grp_s& g) {
  unsigned char* p = header + 9 * n;
  p[0] = g.g_type;
  vt::put16(p + 1, g.g_len);
  vt::put16(p + 3, g.g_base);
  vt::put16(p + 5, g.g_min);
  vt::put16(p + 7, g.g_max);
}

int bucket_of(uint8_t type) {
  switch (type) {
    case 1: case 9: return 1;
    case 2: return 2;
    case 3: case 11: return 3;
    case 4: return 4;
    case 5: case 13: return 5;
    case 6: case 14: return 6;
    case 7: case 15: return 7;
    default: return 0;
  }
}

bool is_code_type(uint8_t type) {
  switch (type) {
    case 1: case 3: case 5: case 6: case 7: case 9: case 11: case 13: case 14: case 15: return true;
    default: return false;
  }
}

const char* bucket_name(unsigned bucket) {
  static const char* const names[] = {"SRTL", "CODE",  "DATA",  "CODE2", "STACK", "CODE3",
                                      "CODE4", "CODE5", "CODE6", "SCODE", "LDTS",  "ERROR"};
  return bucket < 12 ? names[bucket] : "UNKNOWN";
}

void put_fix(unsigned char* p, const fix_s& f) {
  p[0] = f.f_kind;
  vt::put16(p + 1, f.f_para);
  p[3] = f.f_off;
}

ldt_s get_ldt(const unsigned char* p) {
  ldt_s e;
  e.ld_limit = vt::le16(p);
  e.ld_base = static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[3]) << 8) | (static_cast<uint32_t>(p[4]) << 16);
  e.ld_bucket = p[5];
  return e;
}

void put_ldt(unsigned char* p, const ldt_s& e) {
  vt::put16(p, e.ld_limit);
  p[2] = static_cast<unsigned char>(e.ld_base);
  p[3] = static_cast<unsigned char>(e.ld_base >> 8);
  p[4] = static_cast<unsigned char>(e.ld_base >> 16);
  p[5] = e.ld_bucket;
  p[6] = 0;
  p[7] = 0;
}

ldthdr_s get_ldthdr(const unsigned char* p) {
  return ldthdr_s{vt::le16(p), vt::le16(p + 2), vt::le16(p + 4), vt::le16(p + 6)};
}

void put_ldthdr(unsigned char* p, const ldthdr_s& h) {
  vt::put16(p, h.lh_max);
  vt::put16(p + 2, h.lh_next);
  vt::put16(p + 4, h.lh_base);
  vt::put16(p + 6, h.lh_first);
}

uint16_t ldt_group_paras(int positions) {
  return static_cast<uint16_t>(positions <= 188 ? 101 : positions / 2 + 9);
}

uint16_t srtl_group_paras(int sections) {
  return static_cast<uint16_t>((SRTL_VT_SIZE * static_cast<size_t>(sections) + 17) / PARA);
}

void srtl_to_vanteriked(const unsigned char* link, unsigned char* out) {
  for (size_t i = 0; i < 16; ++i) out[i] = link[i];
  bool own_entries = (link[14] & 1) != 0;
  if (own_entries) out[14] = static_cast<unsigned char>(out[14] | 0x80);
  vt::put16(out + 16, 0);
  vt::put16(out + SRTL_FIRST, 0);
  vt::put16(out + SRTL_RESERVED, own_entries ? 0 : 1);
}

size_t header_base(const unsigned char* first128) {
  for (size_t i = 0; i < HDR_SIZE; ++i)
    if (first128[i] != 0) return 0;
  return HDR_SIZE;
}

Layout register_groups(const unsigned char* header) {
  Layout lay;
  uint32_t pos = HDR_SIZE;
  grp_s srtl = get_grp(header, SRTL_DESC);
  if (srtl.g_type == SRTL_TYPE) {
    lay.grppos[0] = pos;
    lay.grplen[0] = srtl.g_len;
    lay.grpdesc[0] = SRTL_DESC;
    pos += srtl.g_len * static_cast<uint32_t>(PARA);
  }
  for (int n = 0; n < NGROUPDESC; ++n) {
    grp_s g = get_grp(header, n);
    if (g.g_type == 0) continue;
    if (int b = bucket_of(g.g_type)) {  // a later descriptor of the same bucket wins
      lay.grppos[b] = pos;
      lay.grplen[b] = g.g_len;
      lay.grpdesc[b] = n;
    }
    pos += g.g_len * static_cast<uint32_t>(PARA);
  }
  return lay;
}

std::string asctime_text(const std::tm& t) {
  static const char* const wday[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const mon[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* wd = (t.tm_wday >= 0 && t.tm_wday < 7) ? wday[t.tm_wday] : "???";
  const char* mo = (t.tm_mon >= 0 && t.tm_mon < 12) ? mon[t.tm_mon] : "???";
  return vt::format("%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", wd, mo, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                    1900 + t.tm_year);
}

uint32_t packed_time(const std::tm& t) {
  auto u = [](int v) { return static_cast<uint32_t>(v); };
  return ((((u(t.tm_min) * 24 + u(t.tm_hour)) * 32 + u(t.tm_mday)) * 12 + u(t.tm_mon)) * 7 + u(t.tm_wday)) * 60 +
         u(t.tm_sec);
}

uint32_t merged_paras(uint32_t symsize) { return (symsize + 15) / 16 + 1; }

Bytes sym_trailer(const std::tm& t, uint32_t symsize) {
  Bytes tr(merged_paras(symsize) * PARA - symsize, 0);
  const char marker[] = "Vanterik";
  for (size_t i = 0; i < 8; ++i) tr[i] = static_cast<unsigned char>(marker[i]);
  tr[8] = static_cast<unsigned char>(symsize);
  tr[9] = static_cast<unsigned char>(symsize >> 8);
  tr[10] = static_cast<unsigned char>(symsize >> 16);
  tr[11] = static_cast<unsigned char>(t.tm_year * 2 + (t.tm_isdst > 0 ? 1 : 0));
  vt::put32(tr.data() + 12, packed_time(t));
  return tr;
}

}  // namespace vanterik
