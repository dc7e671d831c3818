// The dump builder itself: what it writes must be what MORVIK reads.
#include <gtest/gtest.h>

#include "testkit/demo.h"
#include "tests/morvik/fixture.h"

using testkit::DumpBuilder;
using testkit::DumpVariant;

TEST(DumpBuilder, WritesTheVariantSignatures) {
  struct Case {
    DumpVariant v;
    unsigned char b0, b1;
  } cases[] = {{DumpVariant::MarraTerminal, 0xFF, 0xFF},
               {DumpVariant::PagedTerminal, 0xEE, 0xEE},
               {DumpVariant::PagedController, 0xCC, 0xCC},
               {DumpVariant::ELTerminal, 'V', 'T'},
               {DumpVariant::ELController, 'V', 'C'}};
  for (const auto& c : cases) {
    DumpBuilder b(c.v);
    testkit::Bytes img = b.image();
    EXPECT_EQ(img[0], c.b0);
    EXPECT_EQ(img[1], c.b1);
  }
}

TEST(DumpBuilder, BsxRecordsAre22BytesAfterA122ByteHeader) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  b.omit_symbol("pagearea");
  b.omit_symbol("p_syspd");
  testkit::Bytes bsx = b.bsx();
  ASSERT_EQ(bsx.size(), 122u + 22u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bsx[122 + 9])), "gdt_desc");
}

TEST(DumpBuilder, LargeDumpIsWrittenSparse) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  b.set_size(uint64_t{64} << 20);
  testkit::TempDir dir;
  b.write(dir.file("big.dat"));
  EXPECT_EQ(std::filesystem::file_size(dir.file("big.dat")), uint64_t{64} << 20);
}

TEST(DumpBuilder, TheDemoHasEveryProcessItIsAskedFor) {
  for (int n : {3, 12, 200}) {
    SCOPED_TRACE(n);
    testkit::DemoSpec cfg;
    cfg.variant = DumpVariant::PagedController;
    cfg.processes = n;
    DumpBuilder b(cfg.variant);
    testkit::KernelBuilder k(b);
    testkit::build_demo(b, k, cfg);
    EXPECT_EQ(k.pds().size(), static_cast<size_t>(n));
  }
}
