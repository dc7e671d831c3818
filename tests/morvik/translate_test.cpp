// Address translation through the tables a built dump holds, in each variant.
#include <gtest/gtest.h>

#include "fixture.h"

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
