#include "morvik/state/session.h"

#include <cerrno>
#include <ostream>

#include "common/console.h"
#include "common/platform.h"

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

void write_failure(Session& s, const std::string& name, const std::string& reason) {
  if (s.write_failure_shown) return;
  s.write_failure_shown = true;
  s.con.err << vt::write_failure_line(name, reason);
  s.con.err.flush();
}

bool stdout_ok(Session& s) {
  // A stream that failed earlier keeps the reason of the last failure.
  if (s.con.out) {
    errno = 0;
    s.con.out.flush();
    if (s.con.out) return true;
  }
  int e = errno;
  write_failure(s, "standard output", e != 0 ? vt::error_text(e) : std::string("write failed"));
  return false;
}

void end_run(Session& s, int status) {
  s.outfile.flush();  // a failure here ends the run with status 1 itself
  if (!stdout_ok(s)) status = 1;
  vt::end_run(s.con, status);
}

}  // namespace morvik
