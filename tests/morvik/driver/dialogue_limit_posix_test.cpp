// Answers that cannot be saved: a file size limit cuts the scratch file.
#include <gtest/gtest.h>

#include <filesystem>

#include "morvik/driver/morvik.h"
#include "testkit/filesizelimit.h"
#include "testkit/run.h"
#include "tests/morvik/driver/dialogue_fixture.h"

using morvik_test::Folder;
using testkit::read_text;
using testkit::run_entry;
using testkit::write_text;

// The new answers go to a scratch file that replaces "appargs" only once it
// is complete: a write that fails leaves the old answers and ends the run.
TEST(Dialogue, AnswersThatCannotBeSavedEndTheRunWithStatus1) {
  Folder f;
  write_text("appargs", "0.000000\nold.dat\n");
  testkit::RunResult r;
  {
    testkit::FileSizeLimit full(20);
    r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "SCREEN"});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\tCannot write appargs: File too large\n");
  EXPECT_EQ(read_text("appargs"), "0.000000\nold.dat\n");
  EXPECT_FALSE(std::filesystem::exists("tmptmp.tmp"));
  EXPECT_EQ(r.out.find("VELA OS"), std::string::npos);  // no report follows
}
