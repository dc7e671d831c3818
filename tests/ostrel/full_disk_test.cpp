// A write that fails half-way, as on a full disk (a file size limit, which
// only POSIX systems have).
#include <gtest/gtest.h>

#include "fixture.h"
#include "testkit/filesizelimit.h"

namespace {

using namespace ostrel_tests;

TEST_F(Ostrel, AFailedWriteIsReportedAndNeverCalledDone) {
  PatchModule m = terminal();
  m.write(path);
  testkit::RunResult r;
  {
    testkit::FileSizeLimit full(1012);
    r = run({"T", path, "400"}, "y");
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, asked(100) + "\nWRITE ERROR at file position 1012\n");
  EXPECT_EQ(module(), m.bytes());
}

}  // namespace
