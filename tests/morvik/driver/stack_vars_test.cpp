// The variables section from the SYM file's data symbols, and the stack
// section with its return addresses decoded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/driver/morvik_stack.h"
#include "testkit/stackbuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

std::string sp(size_t n) { return std::string(n, ' '); }

// A BASIC application's data segment in a paged terminal dump, its data
// symbols given directly.
struct VarsDump {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t data = b.add_segment(proc, 0x6000, false);
  uint32_t far(uint16_t off) const { return uint32_t{data} << 16 | off; }
  void put16(uint16_t off, uint16_t v) { b.put(proc, far(off), testkit::le16_bytes(v)); }
  void put32(uint16_t off, uint32_t v) { b.put(proc, far(off), testkit::le32_bytes(v)); }
  void string(uint16_t off, const std::string& text) {
    Bytes s = testkit::le16_bytes(static_cast<uint16_t>(text.size()));
    s.insert(s.end(), text.begin(), text.end());
    b.put(proc, far(off), s);
  }
};

struct VarsSession {
  explicit VarsSession(VarsDump& d) : f(d.b) {
    morvik_test::load_ldt(f, d.b, d.proc);
    f.out.str("");
    testkit::write_text(f.dir.file("app.sym"), "x");
    f.s.symfile.open(f.dir.file("app.sym"));
    f.s.DS_selector = d.data;
    f.s.space.termappl = 1;
    f.s.BASIC = 1;
    f.s.symbols.BASICsym = 1;
  }
  Fixture f;
};

TEST(ProcessSyms, EveryTypeIsPrintedByItsCode) {
  VarsDump d;
  // An INT2 array of two elements at 0x5000 (block from 0x4FFE).
  Bytes block = testkit::le16_bytes(10);
  for (const Bytes& part : {testkit::le32_bytes(d.far(0x5100)), Bytes{0x02, 1, 0, 0}, testkit::le16_bytes(0),
                            testkit::le16_bytes(1), testkit::le16_bytes(2), testkit::le16_bytes(5),
                            testkit::le16_bytes(7)})
    block.insert(block.end(), part.begin(), part.end());
  d.b.put(d.proc, d.far(0x4FFE), block);
  d.put32(0x0000, d.far(0x5000));
  d.put16(0x0004, 0xFFFE);
  d.b.put(d.proc, d.far(0x0008), Bytes{0x85});
  d.put32(0x000C, 0x00012345);
  d.string(0x5200, "ABC");
  d.put32(0x0010, d.far(0x5200));
  d.b.put(d.proc, d.far(0x001C), Bytes{0x42, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x12});
  d.put16(0x0030, d.data);
  VarsSession v(d);
  v.f.s.symbols.DataList = {{0x0000, "ARR", 4},  {0x0004, "COUNT%", 2}, {0x0008, "FLAG", 1},
                            {0x000C, "LONG", 4}, {0x0010, "NAME$", 4},  {0x0014, "ODD", 3},
                            {0x0018, "S$", 4},   {0x001C, "TOTAL", 10}, {0x0030, "rtdsv", 2}};
  morvik::processSyms(v.f.s);
  EXPECT_EQ(v.f.out.str(),
            " A spot check of SYM file matching is inconclusive.\n"
            "\n SUB Application Variables:   \n"
            "  (Empty array elements other than the first and last are not formatted.)\n\n"
            "ARR" + sp(25) + "[ 1] Probable 1 dimensional INT2 array  \n"
            "ARR[0]" + sp(27) + "\t   5\t     0005H\n"
            "ARR[1]" + sp(27) + "\t   7\t     0007H\n"
            "COUNT%" + sp(22) + "  INT1/2:     -  2         FEH\t / 65534  FFFEH\n"
            "FLAG" + sp(24) + "  INT1:       -123         85H \n"
            "LONG" + sp(24) + "  INT4:      74565\t 00012345H\n"
            "NAME$" + sp(23) + "  STR    3: \"ABC\"\n"
            "ODD" + sp(25) + "\n"
            "S$" + sp(26) + "  STR    0: \"\"\n"
            "TOTAL" + sp(23) + "  REAL:  12 5 0 0 0 0 0 0 0e2\n"
            "rtdsv" + sp(23) + "  INT1/2:      103         67H\t /   103  0067H\n");
}

TEST(ProcessSyms, DamagedAndMismatchedSymFiles) {
  VarsDump d;
  d.put16(0x0030, 0x1234);
  VarsSession v(d);
  v.f.s.symbols.BASICsym = 0;
  morvik::processSyms(v.f.s);
  EXPECT_EQ(v.f.out.str(), "\n SUB Application Variables:   sorry, the SYM file appears to be damaged");
  EXPECT_EQ(v.f.err.str(), "  The sym file may be damaged.\n\n");
  v.f.out.str("");
  v.f.s.symbols.BASICsym = 1;
  v.f.s.BASIC = 0;
  morvik::processSyms(v.f.s);
  EXPECT_EQ(v.f.out.str(), "\t This is a BASIC sym file, but it's not a BASIC app.\n");
  v.f.out.str("");
  v.f.s.BASIC = 1;
  v.f.s.symbols.DataList = {{0x0030, "rtdsv", 2}};
  morvik::processSyms(v.f.s);
  EXPECT_EQ(v.f.out.str().substr(0, 37), "\t SYM file may not be a good match!\n\n");
}

TEST(ProcessSyms, TerminalStateGoesToTheSummary) {
  VarsDump d;
  d.put16(0x0000, 1);
  d.put32(0x0004, 0x100);
  d.put16(0x0008, 1);
  d.string(0x5000, "PRICE 1.99 EXTRA TEXT THAT IS CUT");
  d.put32(0x000C, d.far(0x5000));
  VarsSession v(d);
  morvik_test::report_to_file(v.f);
  v.f.s.symbols.DataList = {{0x0000, "TS.CASHDRAWER", 2}, {0x0004, "TS.DEV.LONG", 4}, {0x000C, "TS.DISP1$", 4},
                            {0x0008, "TS.INTRX", 2}};
  morvik::processSyms(v.f.s);
  EXPECT_EQ(morvik_test::summary(v.f), (std::vector<std::string>{" The cash drawer is open.",
                                                                 " TS.DISP$:  PRICE 1.99 EXTRA TEXT",
                                                                 " The terminal is in a transaction."}));
  EXPECT_EQ(v.f.err.str(), "\n  Processing application variables....(7).\n");
}

// A stack of 0x40 bytes: a far return into the application's code after a
// far call, one after a near call, a far return into a shared runtime, a
// data pointer and a run of zeros.
TEST(Dostack, ReturnAddressesAreDecoded) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);   // 0x67
  uint16_t data = b.add_segment(proc, 0x1000, false);  // 0x6F
  uint16_t ss = b.add_segment(proc, 0x40, false);      // 0x77
  testkit::SharedRuntime rt = testkit::add_shared_runtime(b, 0x1000);
  uint16_t far_ret = testkit::put_far_call(b, proc, code, 0x0100, code, 0x0400);
  uint16_t near_ret = testkit::put_near_call(b, proc, code, 0x0202, 0x0500);
  uint16_t rt_ret = testkit::put_runtime_far_call(b, rt, static_cast<uint16_t>(rt.start() + 0x10), rt.code,
                                                  static_cast<uint16_t>(rt.start() + 0x80));
  b.put(proc, uint32_t{data} << 16 | 0x20, Bytes{'A', 'B', 0x01, 'C'});
  testkit::StackBuilder st(0x40);
  st.word(0x00, 0x4241)
      .word(0x02, 0x0001)
      .word(0x04, 0x0014)  // saved BP
      .far_ptr(0x06, code, far_ret)
      .far_ptr(0x0A, code, near_ret)
      .far_ptr(0x0E, data, 0x20)
      .word(0x12, 0x0020)
      .word(0x14, 0x001C)  // the frame's saved BP
      .far_ptr(0x16, rt.code, rt_ret)
      .word(0x1A, 0x1234);
  st.put(b, proc, ss);
  Fixture f(b);
  morvik_test::load_ldt(f, b, proc);
  f.out.str("");
  f.s.SS_selector = ss;
  f.s.SP = 0x0004;
  f.s.BP = 0x0004;
  f.s.shared = 1;
  morvik::dostack(f.s);
  const std::string rts = [&] {
    char t[32];
    std::snprintf(t, sizeof t, " %04x:%04x called %04x:%04x ", rt.code, rt_ret, rt.code, rt.start() + 0x80);
    return std::string(t);
  }();
  EXPECT_EQ(f.out.str(),
            "\n\n SUB Application Stack:\n"
            "   (SS = 0077; SP = 0004; BP = 0004; stack frames may be delineated by '*')\n"
            "\n  (0000)    4241 \"AB\"\n"
            "  (0002)    0001"
            "\n~*(0004)    0014"
            "\n  (0006)  067:0105  calls (67:0400)"
            "\n  (000a)  067:0205  calls (67:0500)"
            "\n  (000e)  06f:0020   data  -> 41 42 01 43  \"AB.C\""
            "\n  (0012)    0020"
            "\n *(0014)    001c"
            "\n  (0016)" + rts +
            "\n  (001a)    1234"
            "\n *(001c)    0000"
            "\n  (001e)  00000000   ... (Value repeated 8 times)\n");
}

// Runs of zeros, a return address too near its segment's start to hold a
// call, a third word of 0x0066 that is no selector, the end at the
// segment's limit, and a stack selector that is not the application's.
TEST(Dostack, RunsShortReturnsAndTheSegmentsEnd) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);  // 0x67
  uint16_t ss = b.add_segment(proc, 0x30, false);     // 0x6F
  testkit::StackBuilder st(0x30);
  st.far_ptr(0x20, code, 0x0003).word(0x24, 0x1111).word(0x26, 0x2222).word(0x28, 0x0066);
  st.put(b, proc, ss);
  Fixture f(b);
  morvik_test::load_ldt(f, b, proc);
  f.out.str("");
  f.s.SS_selector = ss;
  f.s.SP = 0x0028;
  f.s.regsOK = 0;
  morvik::dostack(f.s);
  EXPECT_EQ(f.out.str(),
            "\n\n SUB Application Stack:   (SS = 006f; SP = 0028)\n"
            "\n  (0000)  00000000   ... (Value repeated 7 times)\n  (0020)  067:0003   code"
            "\n  (0024)    1111\n  (0026)    2222 \"\"\"\""
            "\n~~(0028)    0066\n  (002a)    0000"
            "\n  (002c)  00000000\n");
  f.out.str("");
  f.s.SS_selector = 0x1234;
  morvik::dostack(f.s);
  EXPECT_EQ(f.out.str(), "\n\n SUB Application Stack:   (SS = 1234; SP = 0028)\n"
                         "\n\t\t>>> Invalid stack selector 1234 <<<\n");
}

}  // namespace
