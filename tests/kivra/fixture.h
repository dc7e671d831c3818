// The KIVRA suites' module builders and the texts they expect.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kivra/kivra.h"
#include "testkit/patchmodule.h"
#include "testkit/run.h"
#include "testkit/tempdir.h"

namespace kivra_tests {

using testkit::Bytes;
using testkit::PatchModule;
using testkit::PatchModuleLayout;

inline const std::string kBanner =
    "\n\n"
    "    ######################################################################\n"
    "    #                                                                    #\n"
    "    #   KIVRA:    Patch an appl to trap on specific errors   02/20/2009  #\n"
    "    #                                                                    #\n"
    "    ######################################################################\n";

inline const std::string kHelp =
    "      This tool patches a BASIC controller or terminal big memory model\n"
    "      application to cause it to dump on a given error.  Up to 5 errors\n"
    "      may be specified for a terminal application, or a single error for\n"
    "      a controller application.  A session number is optional.\n"
    "\n"
    "      Usage:    KIVRA environ filename errorcodes(s) session\n"
    "\t  environ:     'T' for a terminal app, 'C' for a controller app.\n"
    "\t  filename:\tName of the executable file. \n"
    "\t  errorcode(s): Error(s) on which the application is to dump.\n"
    "\t  session:      Session number associated with the above error(s).\n"
    "\n"
    "      For example,    KIVRA  T  pvnts10l.286  DO EF FU 22\n"
    "\t  modifies pvnts10l.286 such that the terminal will dump on the\n"
    "\t  first DO, EF or FU error which occurs on session 22.\n"
    "\n"
    "      Notes:  \n"
    "\t  A controller application must be linked with the NOSH option.\n"
    "\t  A controller application may be patched one time only.\n";

inline const std::string kAsk = "\n\tFound it!  Are you sure you want the file modified (Y/N)?  ";

inline void set(Bytes& b, long pos, const std::string& text) { std::copy(text.begin(), text.end(), b.begin() + pos); }

class Kivra : public ::testing::Test {
 protected:
  testkit::RunResult run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "kivra");
    return testkit::run_entry(kivra_main, args, input);
  }
  Bytes module() { return testkit::read_file(path); }

  // A terminal module: LDT group of 2 paragraphs (code at 160), level 80 at
  // 200, the error-trap site at 1000, missing-RESUME data at 2000 (flag at 2168).
  PatchModule terminal(bool zero_prefix = false) {
    PatchModuleLayout layout;
    layout.zero_prefix = zero_prefix;
    layout.ldt_paragraphs = 2;
    PatchModule m(layout);
    long shift = m.header_base();
    m.level(200 + shift, 80);
    m.trap_site('T', 1000 + shift);
    m.missing_resume('T', 2000 + shift, {0xC3, 0x00, 0x00});
    return m;
  }
  // A controller module: code at 128, level 636 at 300, the site at 1500,
  // missing-RESUME data at 3000 (flag at 2978).
  PatchModule controller() {
    PatchModule m;
    m.level(300, 636);
    m.trap_site('C', 1500);
    m.missing_resume('C', 3000, {0xC3, 0x00, 0x01});
    return m;
  }

  testkit::TempDir dir;
  std::string path = dir.file("app.286");
};

}  // namespace kivra_tests
