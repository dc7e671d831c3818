// A write that fails half-way, as on a full disk (a file size limit, which
// only POSIX systems have).
#include <gtest/gtest.h>

#include "fixture.h"
#include "testkit/filesizelimit.h"

namespace {

using namespace kivra_tests;

TEST_F(Kivra, AFailedWriteIsReportedAndNeverCalledDone) {
  PatchModule m = terminal();
  m.write(path);
  testkit::RunResult r;
  {
    testkit::FileSizeLimit full(1048);  // the first slot fits, the second does not
    r = run({"T", path, "DO", "EF"}, "y");
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [DO]... OK\n\tPatching [EF]... WRITE ERROR at file position 1048\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n");
}

}  // namespace
