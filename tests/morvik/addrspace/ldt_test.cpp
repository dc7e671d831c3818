// The descriptor tables: loading the GDT and LDT, selector classes, listing.
#include <gtest/gtest.h>

#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

TEST(Selectors, Classes) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  uint16_t gdata = b.add_gdt_segment(0x80100000, 0x0FFF, false, 3);
  uint16_t gcode = b.add_gdt_segment(0x80200000, 0x0FFF, true, 3);
  int p = b.add_process();
  b.set_slot(p, 12, 0x00400000, 0x00FF, 0xF3);  // 0x0067 data
  b.set_slot(p, 13, 0x00410000, 0x00FF, 0xFB);  // 0x006F code
  b.set_slot(p, 11, 0x00420000, 0x00FF, 0xF3);  // below the application slots
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  ASSERT_EQ(f.s.space.ldttop, 13);
  struct Case {
    uint16_t sel;
    int16_t cls;
  } cases[] = {{0x0067, 1}, {0x006F, 2}, {0x005F, 0}, {0x0064, 0}, {0x0077, 0},
               {gdata, 3},  {gcode, 4},  {static_cast<uint16_t>(gdata & ~3), 0},
               {0x03FB, 0}, {0x0403, 0}};
  for (const auto& c : cases) EXPECT_EQ(morvik::isSelector(f.s, c.sel), c.cls) << std::hex << c.sel;

  EXPECT_EQ(morvik::isValidSelector(f.s, 0x006700FF), 1);
  EXPECT_EQ(morvik::isValidSelector(f.s, 0x00670100), 0);
  EXPECT_EQ(morvik::isValidSelector(f.s, uint32_t{gcode} << 16 | 0x0FFF), 4);
  EXPECT_EQ(morvik::isValidSelector(f.s, uint32_t{gcode} << 16 | 0x1000), 0);
  EXPECT_EQ(morvik::getlimit(f.s, 0x006F0000), 0x00FF);
  EXPECT_EQ(morvik::getlimit(f.s, 0x005F0000), 0);
  EXPECT_EQ(morvik::getlimit(f.s, uint32_t{gdata} << 16), 0);
}

TEST(Selectors, TheLdtTopSlotIsAnApplicationSlot) {
  DumpBuilder b(DumpVariant::ELController);
  int p = b.add_process();
  b.set_slot(p, 12, 0x00400000, 0x00FF, 0xF3);
  b.set_slot(p, 14, 0x00400000, 0x00FF, 0xF3);
  b.set_ldt_header(p, 64, 13, 12);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(morvik::isSelector(f.s, 0x006F), 1);  // slot 13 = ldt_top
  EXPECT_EQ(morvik::isSelector(f.s, 0x0077), 0);  // slot 14 is above it
}

TEST(Gdt, LimitChecks) {
  struct Case {
    uint16_t limit;
    int status;
    uint16_t GDT_lim;
  } cases[] = {{0x03FF, SessionFixture::kReturned, 0x03F8},
               {0x7FFF, SessionFixture::kReturned, 0x7FF8},
               {0x03FE, -1, 0},
               {0x80FF, -1, 0},
               {0xFFFF, -1, 0}};
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal, DumpVariant::MarraTerminal}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.limit);
      DumpBuilder b(v);
      b.set_gdt_limit(c.limit);
      SessionFixture f(b, false);
      EXPECT_EQ(f.status_of([&] { morvik::getGDT(f.s); }), c.status);
      if (c.status == -1) {
        EXPECT_EQ(f.err.str(), "\tCannot find GDT - BSX doesn't match.\n");
      } else {
        EXPECT_EQ(f.s.space.GDT_lim, c.GDT_lim);
        EXPECT_EQ(f.s.space.gdtptr.size(), size_t{c.limit} + 1);
      }
    }
  }
}

TEST(Gdt, CopyAndBaseByVariant) {
  for (auto v : {DumpVariant::PagedController, DumpVariant::ELController, DumpVariant::MarraTerminal}) {
    DumpBuilder b(v);
    uint16_t sel = b.add_gdt_segment(0x00ABCDEF, 0x1234, true, 3);
    SessionFixture f(b);
    EXPECT_EQ(f.s.space.GDT_base, b.gdt_linear());
    morvik::GDT_entry e = f.s.space.gdt_entry(sel >> 3);
    EXPECT_EQ(e.lim, 0x1234);
    EXPECT_EQ(e.base32(), 0x00ABCDEFu);
  }
}

TEST(Gdt, MissingKernelSymbolsEndTheRunByName) {
  struct Case {
    DumpVariant v;
    const char* omit;
    int status;
  } cases[] = {{DumpVariant::PagedTerminal, "gdt_desc", -1},
               {DumpVariant::PagedTerminal, "p_syspd", -1},
               {DumpVariant::ELController, "p_syspd", -1},
               {DumpVariant::MarraTerminal, "gdt_desc", -1},
               {DumpVariant::MarraTerminal, "p_syspd", SessionFixture::kReturned}};
  for (const auto& c : cases) {
    DumpBuilder b(c.v);
    b.omit_symbol(c.omit);
    SessionFixture f(b, false);
    EXPECT_EQ(f.status_of([&] { morvik::getGDT(f.s); }), c.status) << c.omit;
    if (c.status == -1) {
      EXPECT_EQ(f.err.str(), std::string("\n\tCannot find GDT - the BSX file has no \"") + c.omit + "\" symbol.\n");
    }
  }
}

TEST(Gdt, ElPrintsWhereTheDescriptorIs) {
  DumpBuilder b(DumpVariant::ELTerminal);
  SessionFixture f(b, false);
  morvik::getGDT(f.s);
  // "gdt_desc" is the first kernel datum: 0x1000 into the kernel image at 0x100000.
  EXPECT_EQ(f.out.str(),
            "found gdt segment=00000000\nfound gdt offset =00001000\ngdt_desc:  \nGDT_desc is at 00101000\n");
}

TEST(Ldt, ReadAcrossPagesOfTheLdtObject) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process(600);  // 4,800 bytes: 4,080 in the first page, 720 in the second
  b.set_slot(p, 12, 0x00400000, 0x0011, 0xF3);
  b.set_slot(p, 510, 0x00500000, 0x0022, 0xF3);
  b.set_slot(p, 511, 0x00600000, 0x0033, 0xFB);
  b.set_slot(p, 599, 0x00700000, 0x0044, 0xF3);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  ASSERT_EQ(f.s.space.ldtptr.size(), 4800u);
  EXPECT_EQ(f.s.space.ldt_entry(510).ld_len, 0x0022);
  EXPECT_EQ(f.s.space.ldt_entry(511).ld_len, 0x0033);
  EXPECT_EQ(f.s.space.ldt_entry(599).base32(), 0x00700000u);
  EXPECT_EQ(morvik::isSelector(f.s, 599 * 8 + 7), 1);
}

TEST(Ldt, BadHeadersAndShortReads) {
  struct Case {
    DumpVariant v;
    int16_t numldt, top, base;
    int status;
    const char* err;
  } cases[] = {
      {DumpVariant::PagedTerminal, 64, 12, 11, 0, "bad LDT header!!\n"},
      {DumpVariant::PagedTerminal, 30000, 12, 12, 0, "bad LDT header!!\n"},
      {DumpVariant::PagedTerminal, -5, 12, 12, 0, "bad LDT header!!\n"},
      {DumpVariant::PagedTerminal, 1000, 12, 12, -1, " Can't read LDT\n"},  // second page not present
      {DumpVariant::MarraTerminal, 64, 12, 13, -1, "Cannot find LDT\n"},
      {DumpVariant::ELTerminal, 4095, 12, 12, -1, " Can't read LDT\n"},     // past the end of the dump
  };
  for (const auto& c : cases) {
    DumpBuilder b(c.v);
    int p = b.add_process();
    b.set_ldt_header(p, c.numldt, c.top, c.base);
    if (c.v == DumpVariant::ELTerminal) b.set_size(b.ldt_offset(p) + 1000);
    SessionFixture f(b);
    EXPECT_EQ(f.status_of([&] { morvik_test::load_ldt(f, b, p); }), c.status) << c.numldt;
    EXPECT_EQ(f.err.str(), c.err);
  }
}

TEST(Ldt, AnLdtAddressThatIsNotPresentIsABadHeader) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  uint16_t sel = b.add_gdt_segment(0x90000000, 0xFFFF, false);  // never mapped
  SessionFixture f(b);
  EXPECT_EQ(f.status_of([&] { morvik::page_get_LDT(f.s, uint32_t{sel} << 16); }), 0);
  EXPECT_EQ(f.err.str(), "bad LDT header!!\n");
}

TEST(Ldt, PageDirectoryPastTheEndOfTheDump) {
  DumpBuilder b(DumpVariant::PagedController);
  int p = b.add_process();
  SessionFixture f(b);
  f.s.space.CR3 = 0x7FFFF000;
  EXPECT_EQ(f.status_of([&] { morvik::page_get_LDT(f.s, b.ldt_addr(p)); }), -1);
  EXPECT_EQ(f.out.str(), "Can't read page directory:  ret = 0\n");
}

TEST(Ldt, DebugListingAndCodeSpan) {
  DumpBuilder b(DumpVariant::ELTerminal);
  int p = b.add_process();
  b.set_slot(p, 12, 0x00400000, 0x0FFF, 0xF3);
  b.set_slot(p, 13, 0x00410000, 0x07FF, 0xFB);
  b.set_slot(p, 14, 0x00420000, 0x01FF, 0xFA);
  b.set_slot(p, 15, 0x00430000, 0x00FF, 0xF7);
  b.set_slot(p, 16, 0x00440000, 0x00FF, 0xFB);  // the top slot is not listed
  SessionFixture f(b);
  f.s.debugmode = 1;
  f.out.str("");
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(f.out.str(),
            "\nldt structure: num=0040 top=0010 base=000C resvd=0000\n"
            "\nLDT:  Selector  Length\tLinear Addr\tPhysical Base\n"
            "\t0067\t0FFF            00400000   DATA\n"
            "\t006F\t07FF            00410000   CODE\n"
            "\t0077\t01FF            00420000   CODE\n"
            "\t007F\t00FF            00430000   ????\n");
  EXPECT_EQ(f.s.space.code_min, 0x00410000u);
  EXPECT_EQ(f.s.space.code_max, 0x004201FFu);
}

TEST(Ldt, PagedListingShowsLinearAndDumpBase) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.add_segment_at(p, 0x00400000, 0x1000, true);
  b.put_phys32(b.pte_offset(p, 0x00400000), 0x00123A67);
  b.add_segment(p, 0x100, false);  // the top slot, not listed
  SessionFixture f(b);
  f.s.debugmode = 1;
  f.out.str("");
  morvik_test::load_ldt(f, b, p);
  EXPECT_NE(f.out.str().find("\t0067\t0FFF    00400000        00123A00   CODE\n"), std::string::npos) << f.out.str();
  EXPECT_EQ(f.s.space.code_min, 0x00123A00u);
  EXPECT_EQ(f.s.space.code_max, 0x00124A00u - 1);
}

TEST(Gdt, TruncatedDumpEndsTheRunWithAMessage) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  SessionFixture f(b, false);
  Bytes img = b.image();
  img.resize(0x2000);  // the kernel data is there, the page frames are not
  testkit::write_file(f.dir.file("cut.dat"), img);
  f.s.dumpfile.open(f.dir.file("cut.dat"));
  EXPECT_EQ(f.status_of([&] { morvik::getGDT(f.s); }), -1);
  EXPECT_EQ(f.err.str(), "\n\tCannot read the system page directory (\"p_syspd\" = 00100000).\n");
}
