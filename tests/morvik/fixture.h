// A session over a built dump, with captured streams, for calling MORVIK's
// routines directly.
#pragma once
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/state/session.h"
#include "testkit/dumpbuilder.h"
#include "testkit/tempdir.h"

namespace morvik_test {

class SessionFixture {
 public:
  // Writes the dump and its BSX file and opens them in a session whose
  // report goes to the screen (captured).
  explicit SessionFixture(const testkit::DumpBuilder& b, bool load_gdt = true) {
    b.write(dir.file("dump.dat"));
    b.write_bsx(dir.file("kernel.bsx"));
    s.dumpfile.open(dir.file("dump.dat"));
    s.bsxfile.open(dir.file("kernel.bsx"));
    s.outfile.open_screen(out);
    morvik::allocate_buffers(s);
    morvik::detect_dump_kind(s);
    if (load_gdt) morvik::getGDT(s);
  }
  // Runs `f`; returns the status a run end gave, or 1000 when it returned.
  int status_of(const std::function<void()>& f) {
    try {
      f();
    } catch (const vt::RunEnd& e) {
      return e.status;
    }
    return 1000;
  }
  static constexpr int kReturned = 1000;

  testkit::TempDir dir;
  std::istringstream in;
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  morvik::Session s{con};
};

// Loads the LDT of process `proc` the way the report flow does for the variant.
inline void load_ldt(SessionFixture& f, const testkit::DumpBuilder& b, int proc) {
  f.s.space.CR3 = b.cr3(proc);
  if (f.s.space.page)
    morvik::page_get_LDT(f.s, b.ldt_addr(proc));
  else
    morvik::get_LDT(f.s, morvik::getSYSphysoffset(f.s, b.ldt_addr(proc)));
}

// Changes the working folder for one test and back.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& p) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(p);
  }
  ~InFolder() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

}  // namespace morvik_test
