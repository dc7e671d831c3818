// The LDT listing of a vanteriked module, in index order and by bucket and base.
#include <utility>
#include <vector>

#include "vanterik/run.h"

namespace vanterik {

namespace {

struct Row {
  unsigned index;
  ldt_s e;
  uint32_t key() const { return (e.ld_base & 0xFFFFFF) | (static_cast<uint32_t>(e.ld_bucket) << 24); }
};

const char* row_name(const ldt_s& e) { return e.ld_limit == 0 && e.ld_bucket == 1 ? "SRTL" : bucket_name(e.ld_bucket); }

}  // namespace

void list_ldt(Vanterik& v) {
  out(v, "\n  --->>LDT Table for vanteriked file.\n");
  grp_s srtl = get_grp(v.header, SRTL_DESC);
  size_t at = v.hdrbase + HDR_SIZE + (srtl.g_type == SRTL_TYPE ? srtl.g_len * PARA : 0);
  if (v.module.size() < at + LDT_HDR_SIZE) fatal(v, "ERROR: read of LDT table header failed.\n");
  ldthdr_s h = get_ldthdr(v.module.data() + at);
  out(v, "   Max allowed LDTs = %#03x\n    index base: %#03x, next free index: %#03x, first used index: %#03x\n",
      static_cast<unsigned>(h.lh_max), static_cast<unsigned>(h.lh_base), static_cast<unsigned>(h.lh_next),
      static_cast<unsigned>(h.lh_first));

  long count = (static_cast<long>(get_grp(v.header, LDT_DESC).g_len) * 16 - 8) / 8;
  at += LDT_HDR_SIZE;
  if (count < 0 || v.module.size() < at + static_cast<size_t>(count) * LDT_ENTRY_SIZE)
    fatal(v, "Read of LDT table failed.\n");
  // Entries past the last index a selector can name are not listed: a
  // corrupt descriptor of 0xFFFF paragraphs would otherwise keep the
  // exchange sort busy for a minute.
  std::vector<Row> rows;
  for (long i = 0; i < count && i < LDT_ADDRESSABLE; ++i)
    rows.push_back({static_cast<unsigned>(i), get_ldt(v.module.data() + at + static_cast<size_t>(i) * LDT_ENTRY_SIZE)});

  out(v, "\n\tIdx / Sel  Length   Base     Bucket\n");
  out(v, "\t----+------+--------+--------+------------\n");
  for (const Row& r : rows)
    if (r.e.ld_limit || r.e.ld_bucket)
      out(v, "\t%03x / %3.3x:   %4.4x    %06lx   %x (%s)\n", r.index, selector_of(r.index),
          static_cast<unsigned>(r.e.ld_limit), static_cast<unsigned long>(r.e.ld_base),
          static_cast<unsigned>(r.e.ld_bucket), row_name(r.e));

  // An exchange sort, so that rows with equal keys land where it puts them.
  for (size_t i = 0; i + 1 < rows.size(); ++i)
    for (size_t j = i + 1; j < rows.size(); ++j)
      if (rows[j].key() < rows[i].key()) std::swap(rows[i], rows[j]);

  out(v, "\n\n");
  for (const Row& r : rows)
    if (r.e.ld_limit || r.e.ld_bucket)
      out(v, "\t%03X / %3.3X:   %4.4X    %06lX   %X (%s)\n", r.index, selector_of(r.index),
          static_cast<unsigned>(r.e.ld_limit), static_cast<unsigned long>(r.e.ld_base),
          static_cast<unsigned>(r.e.ld_bucket), row_name(r.e));
  vt::end_run(v.con, 0);
}

}  // namespace vanterik
