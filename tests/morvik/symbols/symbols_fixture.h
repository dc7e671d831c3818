// A session over a built dump with a process's LDT loaded, and the SYM or
// CDV file of the test written beside the dump and opened.
#pragma once
#include <string>

#include "testkit/cdvfile.h"
#include "testkit/symfile.h"
#include "tests/morvik/procs_fixture.h"

namespace morvik_test {

// The segment scans stop below the LDT header's top slot: a small data
// segment stands there, after the segments a test lists.
inline uint16_t add_top_slot(testkit::DumpBuilder& b, int proc) { return b.add_segment(proc, 0x10, false); }

struct SymFixture : Fixture {
  SymFixture(const testkit::DumpBuilder& b, int proc) : Fixture(b) {
    load_ldt(*this, b, proc);
    out.str("");
    err.str("");
  }
  void sym(const std::string& text) {
    testkit::write_text(dir.file("app.sym"), text);
    s.symfile.open(dir.file("app.sym"));
  }
  void sym(const testkit::SymFile& f) { sym(f.text()); }
  void cdv(const testkit::Bytes& bytes) {
    testkit::write_file(dir.file("app.cdv"), bytes);
    s.cdvfile.open(dir.file("app.cdv"));
  }
  void cdv(const testkit::CdvFile& f) { cdv(f.bytes()); }
  // The report so far, cleared.
  std::string take() {
    std::string t = out.str();
    out.str("");
    return t;
  }
};

}  // namespace morvik_test
