// A string whose characters run past its segment's last byte is cut there.
#include <gtest/gtest.h>

#include <string>

#include "morvik/report/morvik_string.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

TEST(DoString, CharactersStopAtTheSegmentsLastByte) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int proc = b.add_process();
  uint16_t seg = b.add_segment(proc, 0x1000, false);
  // 15 characters from 0x0FF2: the segment's reads end below its ld_len
  // 0x0FFF, so 13 of them are in it.
  Bytes str = testkit::le16_bytes(15);
  str.resize(2 + 14, 'Q');
  b.put(proc, uint32_t{seg} << 16 | 0x0FF0, str);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, proc);
  f.out.str("");
  testkit::write_text(f.dir.file("appl.sym"), "x");
  f.s.symfile.open(f.dir.file("appl.sym"));
  EXPECT_EQ(f.status_of([&] { morvik::doString(f.s, uint32_t{seg} << 16 | 0x0FF0); }), SessionFixture::kReturned);
  EXPECT_EQ(f.out.str(), "STR   15: \"" + std::string(13, 'Q') + "\"\n");
}
