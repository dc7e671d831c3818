// The working folder of the dialogue tests.
#pragma once
#include <filesystem>
#include <string>

#include "testkit/dumpbuilder.h"
#include "testkit/tempdir.h"
#include "tests/morvik/fixture.h"

namespace morvik_test {

// A temporary working folder holding a dump and its BSX file.
struct Folder {
  explicit Folder(testkit::DumpVariant v = testkit::DumpVariant::PagedTerminal, const std::string& dump = "omkcsltf.dat",
                  const std::string& bsx = "omkrt8gl.bsx")
      : in(dir.path()) {
    testkit::DumpBuilder b(v);
    // A dump named with a folder ("d\\x.dat") lies in it on Windows.
    if (std::filesystem::path(dump).has_parent_path())
      std::filesystem::create_directories(std::filesystem::path(dump).parent_path());
    b.write(dump);
    if (!bsx.empty()) b.write_bsx(bsx);
  }
  testkit::TempDir dir;
  InFolder in;
};

}  // namespace morvik_test
