#include <gtest/gtest.h>

#include "common/console.h"
#include "common/le.h"

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
