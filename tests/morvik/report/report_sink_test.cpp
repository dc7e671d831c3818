// The report output and the CR LF text files.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/report_sink.h"
#include "testkit/tempdir.h"

TEST(ReportSink, FileLinesEndInCrLfAndTheSummaryAreaCanBeRewritten) {
  testkit::TempDir dir;
  std::string path = dir.file("r.txt");
  {
    vt::ReportSink out;
    ASSERT_TRUE(out.open_file(path));
    out.print("head %d\n", 1);
    int64_t summary = out.tell();
    EXPECT_EQ(summary, 8);
    out.write("\t**        **\n");
    out.write("tail\n");
    out.seek(summary + 4);
    out.write("ab");
    out.seek_end();
    out.write("end\n");
    EXPECT_EQ(out.tell(), 8 + 15 + 6 + 5);
  }
  EXPECT_EQ(testkit::read_text(path), "head 1\r\n\t** ab     **\r\ntail\r\nend\r\n");
}

TEST(ReportSink, ScreenGetsPlainLinesAndIgnoresSeeks) {
  std::ostringstream screen;
  vt::ReportSink out;
  out.open_screen(screen);
  out.write("a\n");
  out.seek(0);
  out.print("%s\n", "b");
  EXPECT_FALSE(out.is_file());
  EXPECT_EQ(screen.str(), "a\nb\n");
}

TEST(TextFiles, WrittenWithCrLfAndReadWithEither) {
  testkit::TempDir dir;
  ASSERT_TRUE(vt::write_crlf_text(dir.file("t"), "one\ntwo\n"));
  EXPECT_EQ(testkit::read_text(dir.file("t")), "one\r\ntwo\r\n");
  std::string_view rest = "one\r\ntwo\nthree";
  std::string line;
  std::vector<std::string> lines;
  while (vt::next_text_line(rest, line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));
}

// Without a handler a failure only shows in good().
TEST(ReportSink, ScreenFailuresAreSeenToo) {
  std::ostringstream screen;
  vt::ReportSink out;
  out.open_screen(screen);
  screen.setstate(std::ios::badbit);  // as a full device leaves it
  out.write("a\n");
  EXPECT_FALSE(out.good());
  EXPECT_FALSE(out.close());
}
