#include <gtest/gtest.h>

#include <filesystem>

#include "common/console.h"
#include "common/le.h"
#include "common/patchfile.h"
#include "common/platform.h"
#include "testkit/tempdir.h"

TEST(LittleEndian, ReadsAndWritesLowByteFirst) {
  unsigned char b[4] = {0x34, 0x12, 0xCD, 0xAB};
  EXPECT_EQ(vt::le16(b), 0x1234);
  EXPECT_EQ(vt::le32(b), 0xABCD1234u);
  unsigned char w[4] = {};
  vt::put32(w, 0x01020304u);
  EXPECT_EQ(w[0], 4);
  EXPECT_EQ(w[3], 1);
}

TEST(Format, GrowsPastTheSmallBuffer) {
  std::string s = vt::format("%s|%d", std::string(1000, 'x').c_str(), 7);
  EXPECT_EQ(s.size(), 1002u);
  EXPECT_EQ(s.substr(998), "xx|7");
}

// The programs' printf is the C99 one on every platform (the Microsoft
// runtime's would write "1.23e+003" and knows no %lld).
TEST(Format, FollowsC99OnEveryPlatform) {
  EXPECT_EQ(vt::format("%lld|%llx|%.2e|%5.1f|%lu", 12345678901LL, 12345678901ULL, 1234.5, 2.5, 4000000000UL),
            "12345678901|2dfdc1c35|1.23e+03|  2.5|4000000000");
}

// Module positions are 64 bits wide on every platform (`long` has 32 on
// Windows).
TEST(PatchFile, ReadsAndWritesPastThe2GiBMark) {
  testkit::TempDir dir;
  const std::string path = dir.file("big.286");
  testkit::write_file(path, {0x01});
  std::filesystem::resize_file(path, 0xB0000000);  // 2.75 GiB, sparse
  vt::PatchFile f;
  ASSERT_TRUE(f.open(path, true));
  EXPECT_EQ(f.length(), int64_t{0xB0000000});
  const unsigned char abcd[4] = {'A', 'B', 'C', 'D'};
  ASSERT_TRUE(f.write(0xA0000000, abcd, 4));
  unsigned char got[8] = {};
  EXPECT_EQ(f.read(0x9FFFFFFE, got, 8), 8u);
  EXPECT_EQ(std::string(got, got + 8), std::string("\0\0ABCD\0\0", 8));
  EXPECT_FALSE(f.write(0xAFFFFFFE, abcd, 4));  // would grow the module
  ASSERT_TRUE(f.close());
  vt::ReadOnlyHandle h;
  ASSERT_TRUE(h.open(path));
  EXPECT_EQ(h.pread(0xA0000000, got, 4), 4u);
  EXPECT_EQ(std::string(got, got + 4), "ABCD");
}
