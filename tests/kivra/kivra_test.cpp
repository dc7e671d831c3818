#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "fixture.h"
#include "kivra/kivra.h"
#include "testkit/demo_module.h"
#include "testkit/run.h"

namespace {

using namespace kivra_tests;

TEST_F(Kivra, PrintsBannerAndHelpWhenTheCommandIsIncomplete) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"T", "app.286"}, {"?", "app.286", "DO"}, {"X", "app.286", "DO"}}) {
    auto r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + kHelp);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Kivra, ReportsAModuleItCannotOpen) {
  auto r = run({"T", path, "DO"}, "y");
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, kBanner + "Cannot open input file " + path + ".\n");
}

TEST_F(Kivra, PatchesTerminalCodesAndSessionBehindTheZeroPrefix) {
  PatchModule m = terminal(true);
  m.write(path);
  auto r = run({"t", path, "do", "Ef", "22"}, "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [do]... OK\n\tPatching [Ef]... OK\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 2 errors and an associated session.\n");
  Bytes want = m.bytes();
  set(want, 1128 + 42, "OD");
  set(want, 1128 + 48, "FE");
  set(want, 1128 + 54, "yy");
  set(want, 1128 + 60, "yy");
  set(want, 1128 + 66, "yy");
  want[1128 + 88] = 22;
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, WritesStarAndOneLetterCodesAsTheirSecondByteThenTheFirst) {
  PatchModule m = terminal();
  m.write(path);
  auto r = run({"T", path, "*", "x", "Mr2", "0"}, "Y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 3 errors.\n");
  Bytes want = m.bytes();
  set(want, 1042, std::string("\0*", 2));
  set(want, 1048, std::string("\0X", 2));
  set(want, 1054, "RM");
  set(want, 1060, "yy");
  set(want, 1066, "yy");
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, PatchesOnlyTheFirstControllerCodeAndItsSessionWord) {
  PatchModule m = controller();
  m.trap_site('C', 1500, {'O', 'D', 0x75, 0x16});  // patched once before
  m.write(path);
  auto r = run({"C", path, "fu", "DO", "EF", "300"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=636\n\tPatching [fu]... OK\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 1 error and an associated session.\n");
  Bytes want = m.bytes();
  set(want, 1507, "UF");
  want[1530] = 0x2C;
  want[1531] = 0x01;
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, ATerminalRunPatchesFiveCodesAndSkipsTheSixthSilently) {
  PatchModule m = terminal();
  m.write(path);
  auto r = run({"T", path, "do", "ef", "fu", "Ab", "zY", "QQ", "9"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [do]... OK\n\tPatching [ef]... OK\n\tPatching [fu]... OK\n"
                             "\tPatching [Ab]... OK\n\tPatching [zY]... OK\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 5 errors and an associated session.\n");
  Bytes want = m.bytes();
  set(want, 1042, "OD");
  set(want, 1048, "FE");
  set(want, 1054, "UF");
  set(want, 1060, "BA");
  set(want, 1066, "YZ");
  want[1088] = 9;
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, AControllerSessionWithoutACodeGoesToTheSessionWord) {
  PatchModule m = controller();
  m.write(path);
  auto r = run({"C", path, "7"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!   and an associated session.\n");
  Bytes want = m.bytes();
  want[1530] = 7;
  want[1531] = 0;
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, AcceptsTheLevelsAtTheEdgesOfWhatTheRuntimesSupport) {
  for (auto [env, level] : std::vector<std::pair<char, int>>{{'T', 48}, {'T', 500}, {'C', 636}, {'C', 999}}) {
    PatchModule m;
    m.level(400, level);
    m.trap_site(env, 1200);
    m.write(path);
    auto r = run({std::string(1, env), path, "DO"}, "y");
    EXPECT_EQ(r.status, 0) << env << level;
    EXPECT_EQ(module()[env == 'T' ? 1242 : 1207], 'O') << env << level;
  }
}

// Blocks from the code (160) on: the one at 880 holds the site, and with the
// level already seen the scan stops there; a backlevel marker further on is
// never read.
TEST_F(Kivra, StopsReadingOnceTheSiteAndTheLevelAreFound) {
  PatchModule m = terminal();
  m.level(1400, 47);
  m.write(path);
  auto r = run({"T", path, "DO"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [DO]... OK\n");
  EXPECT_EQ(module()[1042], 'O');
}

TEST_F(Kivra, DeclinedConfirmationLeavesTheModuleAlone) {
  PatchModule m = terminal();
  m.write(path);
  for (std::string answer : {"n\n", "", "x"}) {
    auto r = run({"T", path, "DO", "22", "MR"}, answer);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + "CBRT=80\n");
    EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tThe file was NOT modified\n");
    EXPECT_EQ(module(), m.bytes());
  }
}

struct Refusal {
  const char* name;
  std::function<void(PatchModule&)> plant;
  bool zero_prefix;
  uint8_t srtl;
  std::vector<std::string> args;  // after the module
  int status;
  std::string out;  // after the banner
  std::string err;
};

TEST_F(Kivra, RefusesBeforeWritingAnything) {
  const std::vector<Refusal> cases = {
      {"shared runtimes", [](PatchModule& m) { m.trap_site('C', 1000); }, false, 0xFF, {"C", "DO"}, -1, "",
       "\n\t   Please re-link the applicaton with the NOSH option.\n"},
      {"shared runtimes behind the prefix", [](PatchModule& m) { m.trap_site('C', 1000); }, true, 0xFF, {"C", "DO"},
       -1, "", "\n\t   Please re-link the applicaton with the NOSH option.\n"},
      {"controller runtime named as terminal", [](PatchModule& m) { m.put_text(130, "OMKACRBW"); m.trap_site('T', 1000); },
       false, 0, {"T", "DO"}, 0, "",
       "\n\tThis is a controller app.  Please specify environ 'c' and link\n\t with the NOSH option.\n"},
      {"terminal runtime not big model", [](PatchModule& m) { m.level(200, 501); m.trap_site('T', 1000); }, false, 0,
       {"T", "DO"}, 0, "CBRT=501\n",
       "\n       This is not a big model terminal application - the runtimes do\n\t not support error trapping "
       "(CBRT 501)\n"},
      {"terminal runtime backlevel", [](PatchModule& m) { m.level(200, 47); m.trap_site('T', 1000); }, false, 0,
       {"T", "DO"}, 0, "CBRT=47\n",
       "\n\t  Sorry - these runtimes are backlevel (CBRT 47).  Please\n \t  re-link the application with runtimes of "
       "May04 or later.\n"},
      {"level after the site", [](PatchModule& m) { m.trap_site('T', 1000); m.level(2000, 47); }, false, 0,
       {"T", "DO"}, 0, "CBRT=47\n",
       "\n\t  Sorry - these runtimes are backlevel (CBRT 47).  Please\n \t  re-link the application with runtimes of "
       "May04 or later.\n"},
      {"terminal runtime named as controller", [](PatchModule& m) { m.level(200, 99); m.trap_site('C', 1000); },
       false, 0, {"C", "DO"}, 0, "CBRT=99\n", "\n\t   Please specify environ 't' for a terminal application\n"},
      {"controller runtime backlevel", [](PatchModule& m) { m.level(200, 635); m.trap_site('C', 1000); }, false, 0,
       {"C", "DO"}, 0, "CBRT=635\n",
       "\n\t  Sorry - these runtimes are backlevel (CBRT 635).  Please\n \t  re-link the application with runtimes of "
       "April03 or later.\n"},
      {"no site", [](PatchModule& m) { m.level(200, 80); }, false, 0, {"T", "DO"}, 1, "CBRT=80\n",
       "\tSorry, couldn't find it.  Please check your runtime level.\n"},
      {"site of the other runtime", [](PatchModule& m) { m.trap_site('C', 1000); }, false, 0, {"T", "DO"}, 1, "",
       "\tSorry, couldn't find it.  Please check your runtime level.\n"},
      {"argument too long", [](PatchModule& m) { m.trap_site('T', 1000); }, false, 0, {"T", std::string(256, 'D')}, 1,
       "", "\tArgument 3 is too long (at most 255 characters).\n"},
      {"session not a number", [](PatchModule& m) { m.trap_site('T', 1000); }, false, 0, {"T", "DO", "2x"}, 1, "",
       "\tThe session must be a decimal number from 0 to 255: 2x\n"},
      {"terminal session past one byte", [](PatchModule& m) { m.trap_site('T', 1000); }, false, 0,
       {"T", "DO", "256"}, 1, "", "\tThe session must be a decimal number from 0 to 255: 256\n"},
      {"controller session past one word", [](PatchModule& m) { m.trap_site('C', 1000); }, false, 0,
       {"C", "DO", "65536"}, 1, "", "\tThe session must be a decimal number from 0 to 65535: 65536\n"},
  };
  for (const Refusal& c : cases) {
    PatchModuleLayout layout;
    layout.zero_prefix = c.zero_prefix;
    layout.srtl_type = c.srtl;
    PatchModule m(layout);
    c.plant(m);
    m.write(path);
    std::vector<std::string> args = {c.args[0], path};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    auto r = run(args, "y\n");
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.out, kBanner + c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(module(), m.bytes()) << c.name;
  }
}

// Blocks are 256 bytes from the code's start, overlapping by 16; wherever the
// site lies it must be found, also after a near-miss at a block's end has
// moved the blocks, and with no level marker (the scan then reads on).
TEST_F(Kivra, FindsTheSiteAtEveryPositionAcrossBlockBoundaries) {
  for (char env : {'T', 'C'}) {
    for (bool decoy : {false, true}) {
      for (long offset = 0; offset < 720; ++offset) {
        PatchModule m(PatchModuleLayout{2048});
        long site = 128 + offset;
        if (decoy && (offset < 230 || offset > 260)) {
          m.put(128 + 245, env == 'T' ? Bytes{0x7E, 0x02} : Bytes{0x03, 0xD8});
        }
        m.trap_site(env, site);
        m.write(path);
        auto r = run({std::string(1, env), path, "DO"}, "y");
        ASSERT_EQ(r.status, 0) << env << " decoy " << decoy << " offset " << offset << r.err;
        Bytes got = module();
        long slot = site + (env == 'T' ? 42 : 7);
        ASSERT_EQ(got[slot], 'O') << env << " offset " << offset;
        ASSERT_EQ(got[slot + 1], 'D') << env << " offset " << offset;
      }
    }
  }
}

TEST_F(Kivra, TogglesTheMissingResumeCheckBackAndForth) {
  PatchModule m = terminal();
  m.write(path);
  auto first = run({"T", path, "DO", "22", "MR"}, "y");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, kBanner + "CBRT=80\n\tPatching [DO]... OK\n\n\tMissing RESUME checking is activated.\n");
  EXPECT_EQ(first.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 1 error and an associated session.\n");
  Bytes got = module();
  EXPECT_EQ(Bytes(got.begin() + 2168, got.begin() + 2171), (Bytes{0xC3, 0x00, 0x01}));
  EXPECT_EQ(got[1042], 'O');
  EXPECT_EQ(got[1088], 22);

  auto second = run({"T", path, "DO", "22", "MR"}, "y");
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.out, kBanner + "CBRT=80\n\tPatching [DO]... OK\n\n\tMissing RESUME checking is DE-activated.\n");
  got = module();
  EXPECT_EQ(Bytes(got.begin() + 2168, got.begin() + 2171), (Bytes{0xC3, 0x00, 0x00}));
}

TEST_F(Kivra, TogglesTheControllerFlagBeforeItsSignatureOncePerRequest) {
  PatchModule m = controller();
  m.write(path);
  // "mr" as a code is also patched; after the session only the toggle counts.
  auto r = run({"C", path, "mr", "5", "MR", "mr"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=636\n\tPatching [mr]... OK\n\n\tMissing RESUME checking is DE-activated.\n"
                             "\n\tMissing RESUME checking is activated.\n\n\tMissing RESUME checking is DE-activated.\n");
  Bytes want = m.bytes();
  set(want, 1507, "RM");
  want[1530] = 5;
  want[1531] = 0;
  want[2980] = 0x00;
  EXPECT_EQ(module(), want);
}

TEST_F(Kivra, AMissingResumeToggleThatCannotBeDoneEndsWithAFailure) {
  struct Case {
    const char* name;
    std::function<void(PatchModule&)> plant;
    std::string message;
    size_t size = 4096;
  };
  const std::vector<Case> cases = {
      {"no signature", [](PatchModule&) {}, "The MR patch was NOT applied (signature was not found)\n"},
      {"unexpected flag bytes", [](PatchModule& m) { m.missing_resume('T', 2000, {0xC3, 0x00, 0x02}); },
       "The MR patch was NOT applied (unexpected bytes at file position 2168)\n"},
      // The block at 3876 is the file's last whole one; the flag would be at 4168.
      {"flag past the end of the file", [](PatchModule& m) { m.trace_size('T', 4000, 0); },
       "READ ERROR at file position 4168\n", 4132},
  };
  for (const Case& c : cases) {
    PatchModule m(PatchModuleLayout{c.size});
    m.trap_site('T', 1000);
    c.plant(m);
    m.write(path);
    auto r = run({"T", path, "DO", "MR"}, "y");
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, kBanner + "\tPatching [DO]... OK\n" + "\tPatching [MR]... OK\n" + c.message) << c.name;
    Bytes want = m.bytes();
    set(want, 1042, "OD");
    set(want, 1048, "RM");
    set(want, 1054, "yy");
    set(want, 1060, "yy");
    set(want, 1066, "yy");
    EXPECT_EQ(module(), want) << c.name;
  }
}

TEST_F(Kivra, AFailedReopenForTheMissingResumeToggleIsReported) {
  PatchModule m = terminal();
  m.write(path);
  int opens = 0;
  const std::string gone = dir.file("gone/app.286");
  kivra::ModuleOpener third_open_fails = [&](vt::PatchFile& file, const std::string& name, bool update) {
    return file.open(++opens < 3 ? name : gone, update);
  };
  std::vector<std::string> args = {"kivra", "T", path, "DO", "MR"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  std::istringstream in("y");
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  EXPECT_EQ(kivra::run(static_cast<int>(argv.size()), argv.data(), con, third_open_fails), 1);
  EXPECT_EQ(out.str(), kBanner + "CBRT=80\n\tPatching [DO]... OK\n\tPatching [MR]... OK\n"
                                 "The MR patch was NOT applied (cannot reopen " + path + ": No such file or directory)\n");
  EXPECT_EQ(module()[2170], 0x00);
}

// The demo module of the README: code at 128, the error-trap site 0x100
// into it.
TEST_F(Kivra, PatchesTheDemoModule) {
  testkit::DemoModuleFiles f = testkit::write_demo_module(dir.path().string());
  auto r = run({"T", f.module, "DO", "FU", "22"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [DO]... OK\n\tPatching [FU]... OK\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 2 errors and an associated session.\n");
  Bytes want = testkit::demo_module().build();
  set(want, 128 + 0x100 + 42, "OD");
  set(want, 128 + 0x100 + 48, "UF");
  want[128 + 0x100 + 88] = 22;
  EXPECT_EQ(testkit::read_file(f.module), want);
}

TEST_F(Kivra, InstalledProgramTakesItsAnswerFromStandardInput) {
  PatchModule m = terminal();
  m.write(path);
  auto r = testkit::run_binary(testkit::installed("kivra") + " T " + path + " FU 9", "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + "CBRT=80\n\tPatching [FU]... OK\n");
  EXPECT_EQ(r.err, kAsk + "  ok...\n\n\tDone!  Trap code added for 1 error and an associated session.\n");
  Bytes want = m.bytes();
  set(want, 1042, "UF");
  set(want, 1048, "yy");
  set(want, 1054, "yy");
  set(want, 1060, "yy");
  set(want, 1066, "yy");
  want[1088] = 9;
  EXPECT_EQ(module(), want);
}

}  // namespace
