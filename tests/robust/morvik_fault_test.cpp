// MORVIK under faults: a report file, the answers file or standard output
// that cannot be written in full ends the run with status 1 and one line on
// standard error that names the file and the system's reason.
#include <gtest/gtest.h>

#include <filesystem>

#include "child.h"
#include "testkit/demo.h"

using robust::Bench;
using robust::Fault;
using testkit::read_text;

namespace {

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A bench holding the demo terminal dump, its BSX and SYM files and the
// answers of an earlier run.
struct DumpBench : Bench {
  DumpBench() {
    testkit::write_demo(work_file(""), testkit::DemoSpec{});
    testkit::write_text(work_file("appargs"), kOldAnswers);
  }
  testkit::RunResult run(const std::string& output, const Fault& fault) const {
    return Bench::run("morvik", {"omkcsltf.dat", "omkrt8gl.bsx", "omkts10l.sym", "mpostapl", "25", "512", output},
                      "", fault);
  }
  static constexpr const char* kOldAnswers = "0.000000\r\nold.dat\r\n";
};

}  // namespace

TEST(MorvikFaults, AnOutputThatCannotBeWrittenEndsTheRunWithStatus1) {
  struct Case {
    const char* what;
    std::string output;
    Fault fault;
    std::string line;
  } cases[] = {
      // The answers (61 bytes) fit; the report is cut after 2,000 bytes.
      {"report file cut by a size limit", "report.txt", Fault{false, 2000, false},
       "\n\tCannot write REPORT.TXT: File too large\n"},
      {"report on a full standard output", "SCREEN", Fault{false, -1, true},
       "\n\tCannot write standard output: No space left on device\n"},
      {"answers cut by a size limit", "SCREEN", Fault{false, 40, false}, "\n\tCannot write appargs: File too large\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DumpBench bench;
    testkit::RunResult r = bench.run(c.output, c.fault);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.err, c.line)) << r.err;
    EXPECT_EQ(count(r.err, "Cannot write"), 1u) << r.err;
    EXPECT_EQ(r.out.find("MORVIK is ending normally."), std::string::npos);
  }
}

TEST(MorvikFaults, TheAnswersAreReplacedOnlyWhenComplete) {
  DumpBench bench;
  testkit::RunResult r = bench.run("SCREEN", Fault{false, 40, false});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_text(bench.work_file("appargs")), DumpBench::kOldAnswers);
  EXPECT_FALSE(bench.exists("tmptmp.tmp"));

  // Without the fault the same run succeeds and saves its answers.
  DumpBench fine;
  r = fine.run("report.txt", Fault{});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_text(fine.work_file("appargs")),
            "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\nomkts10l.sym\r\nmpostapl\r\n25\r\n512\r\n");
  EXPECT_TRUE(ends_with(read_text(fine.work_file("REPORT.TXT")), "\r\nMORVIK is ending normally.\r\n"));
}
