// The report sink at a file size limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console.h"
#include "common/report_sink.h"
#include "testkit/filesizelimit.h"
#include "testkit/tempdir.h"

// A report file cut by a size limit: the write, seek or flush that meets it
// passes the system's reason on once and ends the run with status 1; what
// follows is dropped, and the close says the report failed.
TEST(ReportSink, TheFirstFailedWriteEndsTheRunWithStatus1) {
  testkit::TempDir dir;
  std::vector<std::string> reasons;
  vt::ReportSink out;
  ASSERT_TRUE(out.open_file(dir.file("r.txt")));
  out.on_failure([&](const std::string& why) { reasons.push_back(why); });
  int status = 0;
  {
    testkit::FileSizeLimit limit(100);
    out.write(std::string(300, 'x'));  // may stay in the buffer
    try {
      out.seek(10);  // the summary area: what is buffered goes out first
      out.flush();
    } catch (const vt::RunEnd& e) {
      status = e.status;
    }
    out.write("more\n");
    EXPECT_FALSE(out.close());
  }
  EXPECT_EQ(status, 1);
  EXPECT_EQ(reasons, std::vector<std::string>{"File too large"});
  EXPECT_FALSE(out.good());
}
