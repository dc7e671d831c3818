// Kernel symbols from the BSX file, application symbols by name, and the
// BSX plausibility check.
#include <gtest/gtest.h>

#include <filesystem>

#include "morvik/symbols/dumpfunc_symfile.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

TEST(Bsx, LookupByNameIsExactAndStopsAtTheFirstMatch) {
  DumpBuilder b(DumpVariant::ELTerminal);
  b.add_bsx_record("omkosver", 0x20000, 0x0010);
  b.add_bsx_record("omkosver", 0x30000, 0x0020);
  b.add_bsx_record("fn_shifttabl", 0x40000, 0x0030);  // a 12-character name
  b.add_bsx_record("fn_table_a", 0x50000, 0x0040);    // the same first 8 characters
  b.add_bsx_record("fn_table_b", 0x60000, 0x0050);
  SessionFixture f(b);
  auto sym = morvik::find_kernel_symbol(f.s, "omkosver");
  ASSERT_TRUE(sym);
  EXPECT_EQ(morvik::sym_dump_offset(f.s, *sym), 0x00120010u);  // + kernal_offset 0x100000
  EXPECT_EQ(morvik::kernel_symbol_offset(f.s, "fn_shifttabl"), 0x00140030u);
  EXPECT_FALSE(morvik::find_kernel_symbol(f.s, "OMKOSVER"));
  EXPECT_FALSE(morvik::find_kernel_symbol(f.s, "omkosve"));
  EXPECT_EQ(morvik::kernel_symbol_offset(f.s, "fn_table_b"), 0x00160050u);
  EXPECT_FALSE(morvik::find_kernel_symbol(f.s, "fn_table"));

  // A file far larger than any BSX file (here mostly a hole) is not held
  // in memory but gives the same answers.
  testkit::Bytes big = b.bsx();
  testkit::write_file(f.dir.file("big.bsx"), big);
  std::filesystem::resize_file(f.dir.file("big.bsx"), uint64_t{40} << 20);
  f.s.bsxfile.open(f.dir.file("big.bsx"));
  EXPECT_EQ(morvik::kernel_symbol_offset(f.s, "fn_table_b"), 0x00160050u);
  EXPECT_FALSE(f.s.space.kernel_symbols.indexed);
  EXPECT_FALSE(morvik::find_kernel_symbol(f.s, "nowhere"));
  size_t records = 0;
  morvik::scan_kernel_symbols(f.s, [&](const morvik::sym_s&) { return ++records, true; });
  EXPECT_EQ(records, ((uint64_t{40} << 20) - 122) / 22);
}

TEST(Bsx, HeaderOnlyAndShortLastRecord) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  SessionFixture f(b, false);
  Bytes bsx = b.bsx();
  bsx.resize(122);
  testkit::write_file(f.dir.file("empty.bsx"), bsx);
  f.s.bsxfile.open(f.dir.file("empty.bsx"));
  int records = 0;
  morvik::scan_kernel_symbols(f.s, [&](const morvik::sym_s&) { return ++records, true; });
  EXPECT_EQ(records, 0);
  EXPECT_EQ(f.status_of([&] { morvik::getGDT(f.s); }), -1);
  EXPECT_EQ(f.err.str(), "\n\tCannot find GDT - the BSX file has no \"gdt_desc\" symbol.\n");

  bsx = b.bsx();
  bsx.resize(122 + 22 + 21);  // "gdt_desc" and 21 bytes of the next record
  testkit::write_file(f.dir.file("short.bsx"), bsx);
  f.s.bsxfile.open(f.dir.file("short.bsx"));
  std::vector<std::string> names;
  morvik::scan_kernel_symbols(f.s, [&](const morvik::sym_s& s) { return names.push_back(s.name), true; });
  EXPECT_EQ(names, std::vector<std::string>{"gdt_desc"});
}

TEST(Bsx, MemoryMapInRecordOrder) {
  DumpBuilder b(DumpVariant::ELController);
  b.add_kernel_symbol("p_free", testkit::le16_bytes(256));
  b.add_kernel_symbol("v_system", testkit::le16_bytes(0x0480));
  SessionFixture f(b, false);
  morvik::getmemmap(f.s);
  EXPECT_EQ(f.out.str(), "\tFree memory:      1.000 Mb\n\tSystem memory:    4.500 Mb\n");
}

TEST(Bsx, PlausibilityCheckOfTerminalDumps) {
  {
    DumpBuilder b(DumpVariant::MarraTerminal);
    b.add_kernel_symbol("pagearea", Bytes(4));
    SessionFixture f(b, false);
    EXPECT_EQ(f.status_of([&] { morvik::check_bsx(f.s, "c:\\omk_spgm\\omkrt8gl.bsx"); }), -1);
    EXPECT_EQ(f.err.str(),
              "\n\tIt's a MARRA dump, but c:\\omk_spgm\\omkrt8gl.bsx is NOT a MARRA BSX file.\n"
              "\n\tNext time try c:\\omk_spgm\\omkrt1sl.bsx\n");
  }
  {
    DumpBuilder b(DumpVariant::PagedTerminal);
    b.omit_symbol("pagearea");
    SessionFixture f(b, false);
    EXPECT_EQ(f.status_of([&] { morvik::check_bsx(f.s, "rt1sl.bsx"); }), 0);
    EXPECT_EQ(f.err.str(), "\n\tThis appears to be a MARRA BSX file, but it's NOT a MARRA dump.\n");
  }
  for (auto v : {DumpVariant::ELTerminal, DumpVariant::MarraTerminal}) {
    DumpBuilder b(v);
    b.omit_symbol("pagearea");
    SessionFixture f(b, false);
    EXPECT_EQ(f.status_of([&] { morvik::check_bsx(f.s, "x.bsx"); }), SessionFixture::kReturned);
  }
}

TEST(Symbols, HexToDecimal) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {{"0A10", 0x0A10}, {"FFFF", 0xFFFF}, {"ff", 0x31F}, {"", 0}, {"1234567", 0x1234567}};
  for (const auto& c : cases) EXPECT_EQ(morvik::Hex_to_Decimal(c.text), c.value) << c.text;
}

TEST(Symbols, AddressFromTheSymFile) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  SessionFixture f(b, false);
  testkit::write_text(f.dir.file("app.sym"), "0A10 KEY\r\n0B2C  OTHER.NAME\n");
  f.s.DS_selector = 0x0067;
  EXPECT_EQ(morvik::get_symbol_address(f.s, "KEY"), 0u);  // no SYM or CDV file open
  f.s.symfile.open(f.dir.file("app.sym"));
  EXPECT_EQ(morvik::get_symbol_address(f.s, "KEY"), 0x00670A10u);
  EXPECT_EQ(morvik::get_symbol_address(f.s, "OTHER.NAME"), 0x00670B2Cu);
  EXPECT_EQ(morvik::get_symbol_address(f.s, "NOPE"), 0u);
  EXPECT_EQ(f.out.str(), "\n\t  Cannot find symbol 'NOPE' in the SYM file.\n");
}
