// The dialogue: answers from the command line, "appargs" and the operator.
#include <gtest/gtest.h>

#include "fixture.h"
#include "morvik/morvik.h"
#include "testkit/run.h"

using morvik_test::InFolder;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::read_text;
using testkit::run_entry;
using testkit::TempDir;

TEST(Dialogue, PositionalAnswersRunToTheEndAndSaveThem) {
  TempDir dir;
  InFolder in(dir.path());
  DumpBuilder b(DumpVariant::PagedTerminal);
  b.write("omkcsltf.dat");
  b.write_bsx("omkrt8gl.bsx");
  auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "SCREEN"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("The BSX file being used is \"omkrt8gl.bsx\"\n"), std::string::npos);
  EXPECT_NE(r.out.find("MORVIK program date - 05/26/2010\n"), std::string::npos);
  EXPECT_EQ(read_text("appargs"), "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\n0\r\nmpostapl\r\n");
}
