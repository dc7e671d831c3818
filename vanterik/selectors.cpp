// Selector assignment: every distinct (target, paragraph) that the fixups
// name gets one LDT entry, and every fixed-up word receives its selector.
#include <algorithm>

#include "common/le.h"
#include "vanterik/run.h"

namespace vanterik {

namespace {

uint32_t key_of(unsigned target, unsigned para) { return (target << 16) | para; }

[[noreturn]] void invalid_fixup(Vanterik& v, const fix_s& f) {
  v.con.err << vt::format("%02lX %04lX %02lX\n", static_cast<unsigned long>(f.f_kind),
                          static_cast<unsigned long>(f.f_para), static_cast<unsigned long>(f.f_off));
  fatal(v, "ERROR: Invalid fixup\n");
}

// Takes the next free position for (target, paragraph).
int new_position(Vanterik& v, unsigned target, uint16_t para) {
  int n = v.nextfree;
  if (n + 1 > MAX_POSITIONS) fatal(v, "ERROR: Selectors needed is more than %d\n", TABLE_SIZE);
  v.saveseg[n] = para;
  v.savetype[n] = static_cast<uint16_t>(target);
  ldt_s& e = v.ldtent[n + LDT_RESERVED];
  e.ld_base = (static_cast<uint32_t>(para) * PARA) & 0xFFFFFF;
  if (target >= 128) {
    e.ld_bucket = 1;  // an SRTL entry: limit 0, bucket 1
    e.ld_limit = 0;
  } else {
    e.ld_bucket = static_cast<uint8_t>(target);
    v.seen.put(key_of(target, para), n);
  }
  v.nextfree = n + 1;
  return n;
}

// A zero record ends a list; the next SRTL entry, if any, opens its section.
// Returns false when the stream has ended.
bool next_list(Vanterik& v) {
  if (v.sections >= v.srtlcount) return false;
  unsigned char* e = v.srtltab.data() + 2 + v.sections * SRTL_VT_SIZE;
  if (vt::le16(e + SRTL_FIRST) == 0) vt::put16(e + SRTL_FIRST, static_cast<uint16_t>(v.nextfree + LDT_RESERVED));
  v.srtlmode = true;
  ++v.srtlnum;
  ++v.sections;
  return true;
}

void apply_fixup(Vanterik& v, const fix_s& f, size_t place) {
  unsigned loc = f.loc();
  unsigned target = f.target();
  if (loc < 1 || loc > 7 || target > 7 || f.f_off > 15) invalid_fixup(v, f);
  // The whole word must lie in the location group.
  uint32_t at = f.f_para * static_cast<uint32_t>(PARA) + f.f_off;
  if (!v.lay.present(static_cast<int>(loc)) || at + 2 > v.lay.grplen[loc] * static_cast<uint32_t>(PARA))
    invalid_fixup(v, f);
  if (target == 0 && !v.srtlmode) invalid_fixup(v, f);  // no SRTL section is open
  if (target != 0 && !v.lay.present(static_cast<int>(target))) invalid_fixup(v, f);

  size_t addr = v.hdrbase + v.lay.grppos[loc] + at;
  if (addr + 2 > v.module.size()) fatal(v, "ERROR: Could not read file\n");
  unsigned char* word = v.module.data() + addr;
  uint16_t para = vt::le16(word);

  int found = -1;
  if (target == 0) {
    target = static_cast<unsigned>(v.srtlnum);
    const unsigned char* e = v.srtltab.data() + 2 + (v.sections - 1) * SRTL_VT_SIZE;
    int first = vt::le16(e + SRTL_FIRST) - LDT_RESERVED;
    int count = vt::le16(e + SRTL_RESERVED);
    for (int n = std::min(first + count, TABLE_SIZE) - 1; n >= first && n >= 0; --n)
      if (v.saveseg[n] == para && v.savetype[n] == target) {
        found = n;
        break;
      }
  } else {
    found = v.seen.find(key_of(target, para));
  }
  if (found < 0) {
    if (target < 128 && para > v.tgtbound[target]) {
      v.con.err << vt::format("%02lX %04lX %02lX  *=%04lX\n", static_cast<unsigned long>(f.f_kind),
                              static_cast<unsigned long>(f.f_para), static_cast<unsigned long>(f.f_off),
                              static_cast<unsigned long>(para));
      fatal(v, "ERROR: fixup %d too large\n", static_cast<int>(place) + v.nextfree);
    }
    found = new_position(v, target, para);
  }
  vt::put16(word, static_cast<uint16_t>(selector_of(static_cast<unsigned>(found + LDT_RESERVED))));
}

}  // namespace

void assign_selectors(Vanterik& v) {
  size_t pos = v.hdrbase + vt::le16(v.header + H_FIXREC) * HDR_SIZE;
  for (;;) {
    size_t avail = pos < v.module.size() ? (v.module.size() - pos) / FIXUP_SIZE : 0;
    size_t nrec = std::min(avail, FIXUP_BLOCK);
    out(v, ".");
    if (nrec == 0) fatal(v, "ERROR: Cannot read fixups\n");
    for (size_t i = 0; i < nrec; ++i) {
      fix_s f = get_fix(v.module.data() + pos + i * FIXUP_SIZE);
      if (f.f_kind == 0) {
        if (!next_list(v)) return;
        continue;
      }
      apply_fixup(v, f, i);
    }
    pos += nrec * FIXUP_SIZE;
  }
}

void size_selectors(Vanterik& v) {
  for (int t = 1; t <= 7; ++t) {
    if (!v.lay.present(t)) continue;
    if (v.seen.find(key_of(static_cast<unsigned>(t), 0)) < 0) new_position(v, static_cast<unsigned>(t), 0);

    // The bucket's selectors in ascending paragraph order; of equal values
    // only the lowest position is sized.
    std::vector<int> order;
    for (int n = v.firstpos; n < v.nextfree; ++n)
      if (v.savetype[n] == t && v.saveseg[n] < 0xFFFF) order.push_back(n);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return v.saveseg[a] < v.saveseg[b]; });
    order.erase(std::unique(order.begin(), order.end(), [&](int a, int b) { return v.saveseg[a] == v.saveseg[b]; }),
                order.end());

    for (size_t r = 0; r < order.size(); ++r) {
      long here = v.saveseg[order[r]];
      long end = r + 1 < order.size() ? v.saveseg[order[r + 1]] : v.lay.grplen[t];
      // A selector past the stored data (a group whose minimum exceeds its
      // length) reaches to the group's minimum.
      if (end <= here && r + 1 == order.size()) end = v.tgtbound[t];
      long size = (end - here) * static_cast<long>(PARA);
      if (size > 65536) size = 65536;
      if (size <= 0) size = 1;
      v.ldtent[order[r] + LDT_RESERVED].ld_limit = static_cast<uint16_t>(size - 1);
    }
  }
}

void finish_ldt(Vanterik& v) {
  if (v.sections > 0) {
    grp_s d = get_grp(v.header, SRTL_DESC);
    d.g_len = d.g_min = d.g_max = srtl_group_paras(v.sections);
    put_grp(v.header, SRTL_DESC, d);
    v.lay.grplen[0] = d.g_len;
  }
  grp_s l;
  l.g_type = LDT_TYPE;
  l.g_len = l.g_min = ldt_group_paras(v.nextfree);
  put_grp(v.header, LDT_DESC, l);
}

}  // namespace vanterik
