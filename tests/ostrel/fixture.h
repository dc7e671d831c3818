// The OSTREL suites' module builders and the texts they expect.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ostrel/ostrel.h"
#include "testkit/patchmodule.h"
#include "testkit/run.h"
#include "testkit/tempdir.h"

namespace ostrel_tests {

using testkit::Bytes;
using testkit::PatchModule;
using testkit::PatchModuleLayout;

inline const std::string kBannerAndHelp =
    "\n\t##############################################################\n"
    "\t#                                                            #\n"
    "\t#   OSTREL                                    Apr 16, 2010   #\n"
    "\t#                                                            #\n"
    "\t##############################################################\n"
    "\n\tThis tool patches a BASIC application to increase the size of\n"
    "\tthe application call trace in a controller or terminal big\n"
    "\tmemory model application.  Usage:\n"
    "\t  OSTREL  environ  filename  size\n"
    "\tWhere:\n"
    "\t  'environ'  is either 'C' for controller, or 'T' for terminal.\n"
    "\t  'filename' is the name of the application executable. \n"
    "\t  'size'     is the desired number of trace entries to preserve.\n"
    "\t             This number may not exceed 5200.\n"
    "\n\tFor example,\n"
    "\t\t   OSTREL T pvnts10l.286 400\n"
    "\t   will modify terminal application pvnts10l.286 such that the\n"
    "\t   trace buffer accommodates up to 400 entries before it wraps.\n";

inline const std::string kNotFound = "Sorry, couldn't find it.  Please check your runtime level.\n";

inline std::string asked(int old_size) {
  return "Found it!  The old trace size was " + std::to_string(old_size) +
         ".\n\nAre you sure you want this file modified (Y/N)? \n  OK";
}

class Ostrel : public ::testing::Test {
 protected:
  testkit::RunResult run(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> all = {"ostrel"};
    all.insert(all.end(), args.begin(), args.end());
    return testkit::run_entry(ostrel_main, all, input);
  }
  Bytes module() { return testkit::read_file(path); }
  Bytes word_at(long pos) {
    Bytes b = module();
    return Bytes(b.begin() + pos, b.begin() + pos + 2);
  }

  // A terminal module: code at 128, the scan from 256, the level at 300
  // and the trace-size word (100 entries) at 1012.
  PatchModule terminal(int level = 80) {
    PatchModule m;
    if (level >= 0) m.level(300, level);
    m.trace_size('T', 1000, 100);
    return m;
  }

  testkit::TempDir dir;
  std::string path = dir.file("app.286");
};

}  // namespace ostrel_tests
