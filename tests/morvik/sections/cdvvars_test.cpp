// The variables section written from the CDV symbols, and the CDV match
// check of controller applications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/sections/cdvvars.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

std::string sp(size_t n) { return std::string(n, ' '); }

struct CdvDump {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);
  uint16_t data = b.add_segment(proc, 0x6000, false);
  uint32_t far(uint16_t off) const { return uint32_t{data} << 16 | off; }
  void put(uint16_t off, const Bytes& v) { b.put(proc, far(off), v); }
};

struct CdvSession {
  explicit CdvSession(CdvDump& d) : f(d.b) {
    morvik_test::load_ldt(f, d.b, d.proc);
    f.out.str("");
    testkit::write_text(f.dir.file("app.cdv"), "x");
    f.s.cdvfile.open(f.dir.file("app.cdv"));
    f.s.DS_selector = d.data;
  }
  // The items in address order as given; alphaHead by name.
  void items(std::vector<morvik::listitem> list) {
    morvik::AppSymbols& sym = f.s.symbols;
    sym.listhead = std::move(list);
    sym.alphaHead.clear();
    for (uint32_t i = 0; i < sym.listhead.size(); ++i) sym.alphaHead.push_back(i);
    std::stable_sort(sym.alphaHead.begin(), sym.alphaHead.end(),
                     [&](uint32_t a, uint32_t b) { return sym.listhead[a].name < sym.listhead[b].name; });
  }
  Fixture f;
};

morvik::listitem item(uint32_t addr, uint16_t type, const std::string& name, uint16_t stack = 0) {
  morvik::listitem it;
  it.addr = static_cast<int32_t>(addr);
  it.type = type;
  it.stack = stack;
  it.name = name;
  return it;
}

TEST(Cdvvars, VariablesInNameOrderByType) {
  CdvDump d;
  // An INT1 array of two elements at 0x5000 (block from 0x4FFE), its pointer at 0x0000.
  Bytes block = testkit::le16_bytes(8);
  for (const Bytes& part : {testkit::le32_bytes(d.far(0x5100)), Bytes{0x01, 1, 0, 0}, testkit::le16_bytes(0),
                            testkit::le16_bytes(1), testkit::le16_bytes(1), Bytes{3, 0xFE}})
    block.insert(block.end(), part.begin(), part.end());
  d.put(0x4FFE, block);
  d.put(0x0000, testkit::le32_bytes(d.far(0x5000)));
  d.put(0x0010, Bytes{0x42, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x12});
  d.put(0x0020, testkit::le16_bytes(static_cast<uint16_t>(-10000)));
  d.put(0x0022, testkit::le16_bytes(static_cast<uint16_t>(-9999)));
  d.put(0x0024, Bytes{0x9C});
  d.put(0x0030, testkit::le32_bytes(0x12345678));
  d.put(0x0034, testkit::le32_bytes(0x12345678));
  d.put(0x0038, testkit::le32_bytes(0x02345678));
  d.put(0x5200, Bytes{2, 0, 'H', 'I'});
  d.put(0x0040, testkit::le32_bytes(d.far(0x5200)));
  d.put(0x0044, testkit::le32_bytes(d.far(0x5200)));
  CdvSession c(d);
  c.items({item(d.far(0x0000), 0x202, "ARR"), item(d.far(0x0010), 0x8B, "AMOUNT"), item(d.far(0x0020), 0x81, "CNT"),
           item(d.far(0x0022), 0x81, "CNT2"), item(d.far(0x0024), 0x84, "C.BYTE"), item(d.far(0x0030), 0x82, "BIG"),
           item(d.far(0x0034), 0x86, "P1"), item(d.far(0x0038), 0x86, "P2"), item(d.far(0x0040), 0x8A, "NAME$"),
           item(d.far(0x0044), 0x86, "P3"), item(d.far(0x0050), 0x88, "OTHER"),
           item(d.far(0x0060), 0x201, "PROC"), item(0x0004, 0x81, "LOCAL", 1), item(d.far(0x0070), 0x20, "LOW")});
  morvik::cdvvars(c.f.s);
  EXPECT_EQ(c.f.out.str(),
            "\n SUB Application Variables:\n"
            "   Empty array elements other than the first and the last are not formatted.\n"
            "   File names are not listed for global variables.\n\n"
            "AMOUNT" + sp(21) + " REAL: 12 5 0 0 0 0 0 0 0e2\n"
            "ARR" + sp(24) + "[ 1] 1 dimensional INT1 array  \n"
            "ARR[0]" + sp(35) + "  3\t    03H\n"
            "ARR[1]" + sp(35) + "-002\t    FEH\n"
            "BIG" + sp(24) + " INT4:  305419896   12345678H\n"
            "C.BYTE" + sp(21) + " INT1:       -100         9cH\n"
            "CNT" + sp(24) + " INT2:     -10000       d8f0H\n"
            "CNT2" + sp(23) + " INT2:      -9999       d8f1H\n"
            "NAME$" + sp(22) + " STR    2: \"HI\"\t\t\n"
            "OTHER" + sp(22) + "\n"
            "P1" + sp(25) + " INT4:  305419896  12345678H\n"
            "P2" + sp(25) + " INT4:   36984440    2345678H\n"
            "P3" + sp(25) + "  STR    2: \"HI\"\t\t\n");
  EXPECT_EQ(c.f.s.symbols.Csources, 1);
}

TEST(Cdvvars, DisplayLinesAndTheCashDrawerGoToTheSummary) {
  CdvDump d;
  d.put(0x0000, testkit::le16_bytes(1));
  d.put(0x0004, testkit::le32_bytes(0x1));
  std::string text = "TOTAL 12.34 THANK YOU VERY";
  Bytes s = testkit::le16_bytes(static_cast<uint16_t>(text.size()));
  s.insert(s.end(), text.begin(), text.end());
  d.put(0x5000, s);
  d.put(0x0008, testkit::le32_bytes(d.far(0x5000)));
  CdvSession c(d);
  morvik_test::report_to_file(c.f);
  c.items({item(d.far(0x0000), 0x81, "TS.CASHDRAWER"), item(d.far(0x0004), 0x82, "TS.DEV.LONG"),
           item(d.far(0x0008), 0x8A, "TS.DISP1$")});
  morvik::cdvvars(c.f.s);
  // A display text longer than the 20 characters read is cut there.
  EXPECT_EQ(morvik_test::summary(c.f),
            (std::vector<std::string>{" The cash drawer is not connected.", " ANDISPLAY:  TOTAL 12.34 THANK YO"}));
  EXPECT_EQ(c.f.err.str(), "\n  Processing application variables....\n");
}

TEST(Checkcbhalt, TheHaltRoutineMustMatch) {
  CdvDump d;
  d.b.put(d.proc, uint32_t{d.code} << 16 | (0x100 + 22), Bytes{0x2B, 0xC0, 0x99, 0x1F, 0});
  d.b.put(d.proc, uint32_t{d.code} << 16 | (0x200 + 22), Bytes{0, 0, 0, 0, 0xCB});
  CdvSession c(d);
  struct Case {
    uint32_t addr;
    int16_t result;
  } cases[] = {{uint32_t{d.code} << 16 | 0x100, 0},
               {uint32_t{d.code} << 16 | 0x200, 0},
               {uint32_t{d.code} << 16 | 0x300, -1},
               {d.far(0x100), -1}};
  for (const Case& k : cases) {
    c.items({item(k.addr, 0x201, "cb_halt")});
    EXPECT_EQ(morvik::checkcbhalt(c.f.s), k.result) << std::hex << k.addr;
  }
  // On the screen the two failures are named on standard output.
  const std::string bad = "\tThe CDV file may not be a good match <<<\n";
  EXPECT_EQ(c.f.out.str(), bad + bad);
  c.items({});
  EXPECT_EQ(morvik::checkcbhalt(c.f.s), 0);
}

}  // namespace
