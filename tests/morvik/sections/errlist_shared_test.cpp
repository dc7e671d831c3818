// The shared runtime's level: the application's first far call leads to
// the runtime's entry, whose system segment holds the version record
// 0x400 bytes past the entry.
#include <gtest/gtest.h>

#include <string>

#include "common/le.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "testkit/runtimebuilder.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

// `record_at`: where the record stands past the entry's 0x400; `entry_off`:
// the entry's offset in its system segment; `far_call`: the code starts
// with the far call (else 6 bytes before it, as the runtime's start).
std::string shared_level(uint16_t record_at, uint16_t entry_off, bool far_call, int16_t& level, std::string& date) {
  DumpBuilder b(DumpVariant::PagedController);
  const int proc = b.add_process();
  const uint16_t code = b.add_segment(proc, 0x1000, true);
  b.add_segment(proc, 0x1000, false);
  const uint32_t sys = b.alloc_system(0x2000);
  b.put_system(sys + entry_off + 0x400 + record_at, testkit::shared_version_record(629, "14-MAY-09"));
  // The entry is called through a code selector of the system segment.
  const uint16_t rt = b.code_alias_gdt_segment(static_cast<uint16_t>(sys >> 16));
  const uint32_t entry = uint32_t{rt} << 16 | ((sys & 0xFFFF) + entry_off);
  // The call into the runtime's jump table, then its far jump to the entry.
  Bytes start(10, 0x90);
  const size_t at = far_call ? 1 : 6;
  if (far_call) start[0] = 0x9A;
  vt::put32(start.data() + at, uint32_t{code} << 16 | 0x0200);
  b.put(proc, uint32_t{code} << 16, start);
  Bytes jump(5, 0xEA);
  vt::put32(jump.data() + 1, entry);
  b.put(proc, uint32_t{code} << 16 | 0x0200, jump);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, proc);
  f.s.CS_offset = b.process_dump_offset(proc, uint32_t{code} << 16);
  f.out.str("");
  level = morvik::findWrenRTlevel(f.s);
  date = f.s.runtime.WrenRTdate;
  EXPECT_EQ(f.s.runtime.controller_cbrt, level);
  return f.out.str();
}

}  // namespace

TEST(SharedRuntimeLevel, TheRecordPastTheRuntimesEntry) {
  struct Case {
    const char* what;
    uint16_t record_at, entry_off;
    bool far_call;
    int16_t level;
    std::string date;
  } cases[] = {
      {"a far call first", 0x0000, 0x0010, true, 629, "14-MAY-09"},
      {"the call after the runtime's prologue", 0x0123, 0x0010, false, 629, "14-MAY-09"},
      // The record must lie whole in the 1,024 bytes read.
      {"a record cut at the read's end", 1024 - 20, 0x0010, true, 0, ""},
      {"a record past the read", 1024, 0x0010, true, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int16_t level = -1;
    std::string date;
    const std::string out = shared_level(c.record_at, c.entry_off, c.far_call, level, date);
    EXPECT_EQ(level, c.level);
    EXPECT_EQ(date, c.date);
    EXPECT_EQ(out, c.level != 0 ? "findWrenRTlevel\n\n\t BASIC shared runtimes version 629, dated 14-MAY-09\n\n"
                                : "findWrenRTlevel\n\n\t Cannot find BASIC shared runtimes version\n\n");
  }
}
