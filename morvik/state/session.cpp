#include "morvik/state/session.h"

#include "common/console.h"

namespace morvik {

GDT_entry AddressSpace::gdt_entry(size_t slot) const {
  if (slot >= gdt_slots()) return GDT_entry{};
  return decode_GDT_entry(gdtptr.data() + slot * GDT_entry::kSize);
}

ldt_s AddressSpace::ldt_entry(size_t slot) const {
  if (slot >= ldt_slots()) return ldt_s{};
  return decode_ldt_s(ldtptr.data() + slot * ldt_s::kSize);
}

void report(Session& s, int location) {
  if (s.debugmode) vt::print(s.con.err, "\t\t\t\texecuting at location %d\n", location);
}

void end_run(Session& s, int status) {
  s.outfile.flush();
  vt::end_run(s.con, status);
}

}  // namespace morvik
