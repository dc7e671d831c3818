// The LDT listing of a vanteriked module.
#include <gtest/gtest.h>

#include "fixture.h"

using namespace vtest;
using testkit::read_file;
using testkit::write_file;

namespace {
const char LISTING_HEAD[] =
    "\n\tIdx / Sel  Length   Base     Bucket\n"
    "\t----+------+--------+--------+------------\n";
}

TEST(VanterikLdt, ListsAProcessedModuleInBothOrders) {
  for (bool prefix : {false, true}) {
    Workspace w;
    auto m = small_module();
    m.zero_prefix = prefix;
    write_file(w.mod, m.build());
    ASSERT_EQ(w.run({"-n"}).status, 0);
    Bytes processed = read_file(w.mod);
    auto r = w.run({"-d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string(BANNER) +
                         "\n  --->>LDT Table for vanteriked file.\n"
                         "   Max allowed LDTs = 0x12\n"
                         "    index base: 0xc, next free index: 0x10, first used index: 0xc\n" +
                         LISTING_HEAD +
                         "\t00c / 067:   002f    000000   2 (DATA)\n"
                         "\t00d / 06f:   001f    000010   1 (CODE)\n"
                         "\t00e / 077:   000f    000000   1 (CODE)\n"
                         "\t00f / 07f:   001f    000000   4 (STACK)\n"
                         "\n\n"
                         "\t00E / 077:   000F    000000   1 (CODE)\n"
                         "\t00D / 06F:   001F    000010   1 (CODE)\n"
                         "\t00C / 067:   002F    000000   2 (DATA)\n"
                         "\t00F / 07F:   001F    000000   4 (STACK)\n");
    EXPECT_EQ(read_file(w.mod), processed);
  }
}

TEST(VanterikLdt, NamesSrtlEntriesAndUnknownBucketsAndKeepsExchangeOrder) {
  // A vanteriked module written by hand: code, and an LDT group of 4
  // paragraphs (7 entries). Entries 3 and 4 share bucket and base; the
  // exchange sort puts 4 before 3.
  Workspace w;
  Bytes h = fill(128, 0);
  set(h, 0, {0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  set(h, 81, {0xFE, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00});
  Bytes ldt = fill(64, 0);
  set(ldt, 0, {0x13, 0x00, 0x11, 0x00, 0x0C, 0x00, 0x0C, 0x00});
  set(ldt, 8 + 2 * 8, {0x00, 0x00, 0x50, 0x00, 0x00, 0x01, 0x00, 0x00});
  set(ldt, 8 + 3 * 8, {0xFF, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00});
  set(ldt, 8 + 4 * 8, {0x7F, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00});
  set(ldt, 8 + 5 * 8, {0x1F, 0x00, 0x20, 0x00, 0x00, 0x01, 0x00, 0x00});
  set(ldt, 8 + 6 * 8, {0x10, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00});
  write_file(w.mod, cat({h, ldt, fill(16, 0x90)}));
  auto r = w.run({"-d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) +
                       "\n  --->>LDT Table for vanteriked file.\n"
                       "   Max allowed LDTs = 0x13\n"
                       "    index base: 0xc, next free index: 0x11, first used index: 0xc\n" +
                       LISTING_HEAD +
                       "\t002 / 017:   0000    000050   1 (SRTL)\n"
                       "\t003 / 01f:   00ff    000100   3 (CODE2)\n"
                       "\t004 / 027:   007f    000100   3 (CODE2)\n"
                       "\t005 / 02f:   001f    000020   1 (CODE)\n"
                       "\t006 / 037:   0010    000000   c (UNKNOWN)\n"
                       "\n\n"
                       "\t005 / 02F:   001F    000020   1 (CODE)\n"
                       "\t002 / 017:   0000    000050   1 (SRTL)\n"
                       "\t004 / 027:   007F    000100   3 (CODE2)\n"
                       "\t003 / 01F:   00FF    000100   3 (CODE2)\n"
                       "\t006 / 037:   0010    000000   C (UNKNOWN)\n");

  // A module cut inside its LDT group.
  write_file(w.mod, cat({h, Bytes(ldt.begin(), ldt.begin() + 40)}));
  r = w.run({"-d"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Read of LDT table failed.\n");
  write_file(w.mod, cat({h, Bytes(ldt.begin(), ldt.begin() + 4)}));
  r = w.run({"-d"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: read of LDT table header failed.\n");
}

TEST(VanterikLdt, ListsOnlyTheEntriesASelectorCanName) {
  // An LDT group of 0x1004 paragraphs claims 8199 entries; index 0x1FFF
  // (selector 0xFFFF) is the last one a selector can name.
  Workspace w;
  Bytes h = fill(128, 0);
  set(h, 0, {0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  set(h, 81, {0xFE, 0x04, 0x10, 0x00, 0x00, 0x04, 0x10, 0x00, 0x00});
  Bytes ldt = fill(0x1004 * 16, 0);
  set(ldt, 0, {0x0E, 0x00, 0x0D, 0x00, 0x0C, 0x00, 0x0C, 0x00});
  set(ldt, 8 + 12 * 8, {0x0F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00});
  set(ldt, 8 + 0x1FFF * 8, {0x0F, 0x00, 0x10, 0x00, 0x00, 0x02, 0x00, 0x00});
  set(ldt, 8 + 0x2000 * 8, {0x0F, 0x00, 0x20, 0x00, 0x00, 0x01, 0x00, 0x00});
  write_file(w.mod, cat({h, ldt, fill(16, 0x90)}));
  auto r = w.run({"-d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) +
                       "\n  --->>LDT Table for vanteriked file.\n"
                       "   Max allowed LDTs = 0xe\n"
                       "    index base: 0xc, next free index: 0xd, first used index: 0xc\n" +
                       LISTING_HEAD +
                       "\t00c / 067:   000f    000000   1 (CODE)\n"
                       "\t1fff / ffff:   000f    000010   2 (DATA)\n"
                       "\n\n"
                       "\t00C / 067:   000F    000000   1 (CODE)\n"
                       "\t1FFF / FFFF:   000F    000010   2 (DATA)\n");
}
