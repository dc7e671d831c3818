// Application memory read a page of a segment at a time for the walks.
#include <gtest/gtest.h>

#include "morvik/addrspace/dumpfunc_appmem.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 13 + i / 251);
  return b;
}

}  // namespace

TEST(AppMemory, ASegmentIsReadOncePageByPage) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELController, DumpVariant::MarraTerminal}) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    int p = b.add_process();
    // A segment that does not start on a page: each of its pages lies in
    // two pages of linear memory, which a paged dump keeps apart.
    uint16_t data = b.add_segment_at(p, b.marra() ? 0x300800 : v == DumpVariant::ELController ? 0x400800 : 0x00400800,
                                     0x2800, false);
    uint32_t far = uint32_t{data} << 16;
    b.put(p, far, pattern(0x2800));
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, p);
    morvik::AppMemory mem(f.s);
    Bytes got(0x2800);
    EXPECT_EQ(mem.read(far, got.data(), got.size()), 0x2800u);
    EXPECT_EQ(got, pattern(0x2800));
    size_t reads = mem.reads();
    EXPECT_EQ(reads, b.paged() ? 5u : 3u);  // 3 pages of the segment; paged, in 2 + 2 + 1 pieces
    // Records in pages already read cost nothing more.
    unsigned char rec[10];
    EXPECT_TRUE(mem.read_all(far | 0x0FFC, rec, sizeof rec));
    EXPECT_EQ(Bytes(rec, rec + 10), Bytes(got.begin() + 0xFFC, got.begin() + 0x1006));
    EXPECT_EQ(mem.reads(), reads);
    // A read stops at the segment's limit; an address of no application
    // segment reads nothing (and does not end the run).
    EXPECT_EQ(mem.read(far | 0x27FC, rec, sizeof rec), 4u);
    EXPECT_EQ(mem.read(0x12340000, rec, sizeof rec), 0u);
    EXPECT_EQ(mem.read(b.ldt_addr(p) | 0x00030000, rec, sizeof rec), 0u);  // kernel memory
    EXPECT_EQ(f.out.str().find("ERROR"), std::string::npos) << f.out.str();
  }
}

TEST(AppMemory, APageNotInTheDumpEndsTheRead) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  uint16_t data = b.add_segment(p, 0x3000, false);
  uint32_t far = uint32_t{data} << 16;
  b.put(p, far, pattern(0x3000));
  b.put_phys32(b.pte_offset(p, b.process_linear(p, far | 0x1000)), 0);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, p);
  morvik::AppMemory mem(f.s);
  Bytes got(0x3000);
  EXPECT_EQ(mem.read(far | 0x0F00, got.data(), 0x300), 0x100u);
  EXPECT_EQ(mem.read(far | 0x2000, got.data(), 0x10), 0x10u);
}
