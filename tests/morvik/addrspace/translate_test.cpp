// Address translation through the tables a built dump holds, in each variant.
#include <gtest/gtest.h>

#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

Bytes pattern(size_t n, unsigned char seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + i * 7);
  return b;
}

}  // namespace

TEST(Translate, ProcessAddressesInEveryVariant) {
  for (auto v : {DumpVariant::MarraTerminal, DumpVariant::PagedTerminal, DumpVariant::PagedController,
                 DumpVariant::ELTerminal, DumpVariant::ELController}) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    int p = b.add_process();
    uint16_t data = b.add_segment(p, 0x3000, false);
    uint16_t code = b.add_segment(p, 0x800, true);
    uint32_t far = uint32_t{data} << 16 | 0x0FF0;
    b.put(p, far, pattern(0x40, 3));
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    EXPECT_EQ(morvik::isSelector(f.s, data), morvik::kLdtData);
    EXPECT_EQ(morvik::isSelector(f.s, code), morvik::kLdtCode);
    EXPECT_EQ(morvik::getphysoffset(f.s, far), b.process_dump_offset(p, far));
    unsigned char got[0x40] = {};
    EXPECT_EQ(morvik::readstuff(f.s, got, far, 1, 0x40, 'a'), 1);
    EXPECT_EQ(Bytes(got, got + 0x40), pattern(0x40, 3));
    EXPECT_EQ(f.out.str().find("ERROR"), std::string::npos) << f.out.str();
  }
}

TEST(Translate, PagedWorkedExampleKeepsBits8To11OfTheFrame) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  ASSERT_EQ(b.add_segment_at(p, 0x00400000, 0x1000, false), 0x0067);
  // Directory entry 1 gives the table; its entry 0 is 0x00123A67.
  b.put_phys32(b.pte_offset(p, 0x00400000), 0x00123A67);
  b.set_size(0x200000);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(morvik::getphysoffset(f.s, 0x00670123), 0x00123B23u);
  EXPECT_EQ(f.s.space.PDindex, 1);
  EXPECT_EQ(f.s.space.PTindex, 0u);
  EXPECT_EQ(morvik::Vir2Phys(f.s, 0), 0u);
  EXPECT_EQ(morvik::sysVir2Phys(f.s, 0), 0u);
}

TEST(Translate, ElAndMarraRules) {
  {
    DumpBuilder b(DumpVariant::ELController);
    int p = b.add_process();
    b.add_segment_at(p, 0x00450000, 0x1000, false);
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    EXPECT_EQ(morvik::sysVir2Phys(f.s, 0x12345678), 0x12345678u);
    EXPECT_EQ(morvik::getphysoffset(f.s, 0x00670010), 0x00450010u);
  }
  {
    DumpBuilder b(DumpVariant::MarraTerminal);
    int p = b.add_process();
    b.add_segment_at(p, 0x180000, 0x1000, false);
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    EXPECT_EQ(morvik::getphysoffset(f.s, 0x00670010), 0x100010u);
  }
}

TEST(Translate, NotPresentMemoryReadsLikeAShortRead) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.add_segment(p, 0x1000, false);                // slot 12, directory entry 1
  b.set_slot(p, 13, 0x00800000, 0x0FFF, 0xF3);     // directory entry 2 not present
  b.set_slot(p, 14, 0x00500000, 0x0FFF, 0xF3);     // table present, page not present
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(morvik::getphysoffset(f.s, 0x006F0000), morvik::kNoDumpOffset);
  unsigned char buf[16];
  EXPECT_EQ(morvik::readstuff(f.s, buf, 0x006F0010, 1, 16, 'a'), 0);
  EXPECT_EQ(morvik::readstuff(f.s, buf, 0x00770000, 1, 16, 'a'), 0);
  EXPECT_EQ(f.out.str(), "readstuff error1 at 006F0010\nreadstuff error1 at 00770000\n");
}

TEST(Readstuff, CrossesPagesByTranslatingEachPage) {
  DumpBuilder b(DumpVariant::PagedController);
  int p = b.add_process();
  uint16_t sel = b.add_segment(p, 0x3000, false);
  uint32_t far = uint32_t{sel} << 16 | 0x0F9C;  // 100 bytes before the page end
  b.put(p, far, pattern(300, 9));
  // The builder gives consecutive pages frames in reverse order.
  ASSERT_NE(b.process_dump_offset(p, far + 100), b.process_dump_offset(p, far) + 100);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  Bytes got(300);
  EXPECT_EQ(morvik::readstuff(f.s, got, far, 3, 100, 'a'), 1);
  EXPECT_EQ(got, pattern(300, 9));
}

TEST(Readstuff, ApplicationReadsStopAtTheSegmentLimit) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  uint16_t sel = b.add_segment(p, 0x100, false);  // ld_len 0x00FF
  b.put(p, uint32_t{sel} << 16 | 0xF0, pattern(16, 1));
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  Bytes got(32, 0xAA);
  EXPECT_EQ(morvik::readstuff(f.s, got, uint32_t{sel} << 16 | 0xF0, 32, 1, 'a'), 1);
  Bytes want = pattern(15, 1);  // ld_len - offset = 15 bytes
  want.resize(32, 0xAA);
  EXPECT_EQ(got, want);
  // Nothing is left to read at the limit itself.
  EXPECT_EQ(morvik::readstuff(f.s, got, uint32_t{sel} << 16 | 0xFF, 1, 1, 'a'), 0);
  EXPECT_EQ(f.out.str(), "readstuff error1 at 006700FF\n");
}

TEST(Readstuff, NeverWritesPastTheDestination) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  uint16_t sel = b.add_segment(p, 0x2000, false);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  Bytes got(4);  // a count of -1 comes to 65,535 bytes; the sanitizers catch any overrun
  EXPECT_EQ(morvik::readstuff(f.s, got, uint32_t{sel} << 16, -1, 1, 'a'), 1);
}

TEST(Translate, OffsetBeyondTheLimitWarnsAndStillTranslates) {
  DumpBuilder b(DumpVariant::ELTerminal);
  int p = b.add_process();
  b.add_segment_at(p, 0x00460000, 0x100, false);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  f.out.str("");
  EXPECT_EQ(morvik::getphysoffset(f.s, 0x00670200), 0x00460200u);
  EXPECT_EQ(f.out.str(),
            "\nERROR - resolution for address 0067:0200 is being attempted,\n"
            "          but the LDT limit for selector 0067 is only 00FF\n");
}

TEST(Translate, InvalidAddressesEndTheRun) {
  struct Case {
    uint32_t addr;
    const char* text;
  } cases[] = {
      {0x005F0000, "Invalid address (getphysoffset):  5f0000\n"},    // slot 11
      {0x00640000, "Invalid address (getphysoffset):  640000\n"},    // low bits 4
      {0x006F0000, "Invalid address (getphysoffset):  6f0000\n"},    // above the LDT top
      {0x000B0000, "Invalid address (getphysoffset):  b0000\n"},     // a GDT selector
  };
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.add_segment(p, 0x100, false);
  for (const auto& c : cases) {
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    f.out.str("");
    EXPECT_EQ(f.status_of([&] { morvik::getphysoffset(f.s, c.addr); }), -1);
    EXPECT_EQ(f.err.str(), c.text);
    EXPECT_EQ(f.out.str(), c.text);
  }
}

TEST(Translate, SystemSelectorsUpToTheGdtLimit) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  SessionFixture f(b);
  ASSERT_EQ(f.s.space.GDT_lim, 0x03F8);
  EXPECT_EQ(f.status_of([&] { morvik::getSYSphysoffset(f.s, 0x03F80000); }), SessionFixture::kReturned);
  EXPECT_EQ(f.status_of([&] { morvik::getSYSphysoffset(f.s, 0x04000000); }), -1);
  const char* msg = "\n\n\tInvalid system address... I'm cuttin' out!\n\n";
  EXPECT_EQ(f.err.str(), msg);
  EXPECT_EQ(f.out.str(), msg);
}

TEST(Translate, UnreadablePageTablesEndTheRun) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.add_segment(p, 0x100, false);
  b.set_slot(p, 13, 0x00C00000, 0x0FFF, 0xF3);
  b.put_phys32(b.pde_offset(p, 0x00C00000), 0x7FFFF067);  // table past the end of the dump
  b.put_phys32(b.ptd_addr() + 4 * 0x3FF, 0x7FFFF067);
  {
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    EXPECT_EQ(f.status_of([&] { morvik::getphysoffset(f.s, 0x006F0000); }), -1);
    EXPECT_EQ(f.out.str(), "\nCannot read page table;  rc = 0\n");
  }
  {
    SessionFixture f(b);
    EXPECT_EQ(f.status_of([&] { morvik::sysVir2Phys(f.s, 0xFFC00000); }), -1);
    EXPECT_EQ(f.out.str(), "can't read OS page table\n");
  }
}

TEST(Translate, DataPointerMovesToTheNearestSegment) {
  DumpBuilder b(DumpVariant::ELTerminal);
  int p = b.add_process();
  b.set_slot(p, 12, 0x00401000, 0xFFFF, 0xF3);
  b.set_slot(p, 13, 0x00402000, 0xFFFF, 0xF3);
  b.set_slot(p, 14, 0x00403000, 0xFFFF, 0xF3);
  b.set_slot(p, 15, 0x00400000, 0xFFFF, 0xF3);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(morvik::getDataPointer(f.s, 0x0067, 0x1800), 0x006F0800u);
  EXPECT_EQ(morvik::getDataPointer(f.s, 0x0067, 0x0800), 0x00670800u);
  EXPECT_EQ(morvik::getDataPointer(f.s, 0x0067, 0x2004), 0x00770004u);
}

TEST(Translate, SystemSegmentBaseFromTheDumpedGdt) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELController, DumpVariant::MarraTerminal}) {
    DumpBuilder b(v);
    uint32_t far = b.alloc_system(0x20);
    b.put_system(far, {1, 2, 3, 4});
    SessionFixture f(b);
    unsigned char got[4] = {};
    EXPECT_EQ(morvik::readstuff(f.s, got, far, 4, 1, 's'), 1);
    EXPECT_EQ(Bytes(got, got + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(morvik::getSYSphysoffset(f.s, far), b.system_dump_offset(far));
    uint32_t base = morvik::getsysbase(f.s, static_cast<int16_t>(far >> 19));
    EXPECT_EQ(base, v == DumpVariant::MarraTerminal ? 0x40000u : b.system_dump_offset(far & 0xFFFF0000u));
  }
}

// Dump offsets are unsigned 32 bits: a dump of more than 2 GiB is read at
// offsets a signed or 32-bit file position could not reach.
TEST(DumpImage, ReadsPastThe2GiBMark) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  b.put_phys(0x7FFFFFFC, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
  b.put_phys(0xC0000000, {0xA1, 0xA2, 0xA3, 0xA4});
  b.put_phys(0xDFFFFFFC, {0xE1, 0xE2, 0xE3, 0xE4});
  b.set_size(0xE0000000);  // 3.5 GiB, sparse
  testkit::TempDir dir;
  b.write(dir.file("big.dat"));
  morvik::DumpImage img;
  ASSERT_TRUE(img.open(dir.file("big.dat")));
  EXPECT_EQ(img.size(), 0xE0000000u);
  uint32_t v = 0;
  EXPECT_TRUE(img.read_u32_at(0x7FFFFFFE, v));  // across the 2 GiB mark
  EXPECT_EQ(v, 0x66554433u);
  ASSERT_TRUE(img.seek(0xC0000000));
  unsigned char got[4] = {};
  EXPECT_EQ(img.read(got, 4), 4u);
  EXPECT_EQ(Bytes(got, got + 4), (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(img.tell(), 0xC0000004u);
  EXPECT_EQ(img.read_at(0xDFFFFFFE, got, 4), 2u);  // short at the end
  EXPECT_EQ(Bytes(got, got + 2), (Bytes{0xE3, 0xE4}));
  EXPECT_EQ(img.read_at(0xE0000000, got, 4), 0u);
  EXPECT_EQ(img.read_at(morvik::kNoDumpOffset, got, 1), 0u);
}

TEST(Translate, ApplicationPagesPastThe2GiBMark) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.set_next_frame(0xC0000000);  // the segment's page table and frames lie at 3 GiB
  uint16_t sel = b.add_segment(p, 0x3000, false);
  uint32_t far = uint32_t{sel} << 16 | 0x0F9C;  // 100 bytes before a page end
  b.put(p, far, pattern(300, 5));
  b.set_size(0xE0000000);
  ASSERT_GE(b.process_dump_offset(p, far), 0xC0000000u);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  EXPECT_EQ(morvik::getphysoffset(f.s, far), b.process_dump_offset(p, far));
  Bytes got(300);
  EXPECT_EQ(morvik::readstuff(f.s, got, far, 3, 100, 'a'), 1);
  EXPECT_EQ(got, pattern(300, 5));
}
