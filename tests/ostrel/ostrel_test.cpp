#include <gtest/gtest.h>

#include "fixture.h"
#include "ostrel/ostrel.h"
#include "testkit/demo_module.h"
#include "testkit/run.h"

namespace {

using namespace ostrel_tests;

TEST_F(Ostrel, PrintsBannerAndHelpWhenTheCommandIsIncomplete) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"T", "app.286"}, {"?x", "app.286", "400"}}) {
    auto r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBannerAndHelp);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Ostrel, RefusesAnUnknownEnvironmentAndAMissingModule) {
  auto r = run({"X", path, "400"}, "y");
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Invalid environment:  X\n");
  r = run({"t", path, "400"}, "y");
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.err, "Cannot open input file.\n");
}

TEST_F(Ostrel, WritesTheSizeAndReplacesOneOutsideItsRangeBy5200) {
  struct Case {
    std::string size;
    Bytes word;
    std::string now;
  };
  const std::vector<Case> cases = {
      {"9", {0x50, 0x14}, "5200"},     {"5201", {0x50, 0x14}, "5200"}, {"10", {0x0A, 0x00}, "10"},
      {"5200", {0x50, 0x14}, "5200"},  {"+400", {0x90, 0x01}, "400"},  {"-3", {0x50, 0x14}, "5200"},
      {"99999999999999999999", {0x50, 0x14}, "5200"},
  };
  for (const Case& c : cases) {
    PatchModule m = terminal(120);
    m.write(path);
    auto r = run({"T", path, c.size}, "y\n");
    EXPECT_EQ(r.status, 0) << c.size;
    EXPECT_EQ(r.out, "CBRT=120\n") << c.size;
    EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now " + c.now + "\n") << c.size;
    Bytes want = m.bytes();
    want[1012] = c.word[0];
    want[1013] = c.word[1];
    EXPECT_EQ(module(), want) << c.size;
  }
}

TEST_F(Ostrel, ReportsDormantOptionsOnlyForLevels64To99AndSizesInTheirBand) {
  const std::string head = "The following dormant options are now enabled:\n";
  const std::string timer = " - VELA Enhanced V6 Timer Resolution.\n";
  const std::string scan = " - SCANFREEHEAPBLOCKS in _cb_prolog and _cb_epilog.\n";
  const std::string lockdev = " - Tracing of LOCKDEV and UNLOCKDEV.\n";
  const std::string heap = " - Tracing of heap allocates and frees.\n";
  struct Case {
    int level;  // -1: no level marker
    const char* size;
    std::string options;
  };
  const std::vector<Case> cases = {
      {80, "4611", head + timer + scan},
      {120, "4611", ""},
      {80, "4608", ""},
      {80, "4863", head + timer + scan + lockdev + heap},
      {64, "4625", head + timer + heap},
      {99, "4612", head},
      {63, "4611", ""},
      {-1, "4611", ""},
  };
  for (const Case& c : cases) {
    terminal(c.level).write(path);
    auto r = run({"T", path, c.size}, "Y");
    EXPECT_EQ(r.status, 0) << c.level << " " << c.size;
    EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now " + c.size + "\n" + c.options)
        << c.level << " " << c.size;
  }
}

// Of the markers before the signature the last one counts; one behind it is
// not read.
TEST_F(Ostrel, UsesTheLastLevelSeenBeforeTheSignature) {
  PatchModule m;
  m.level(300, 120);
  m.level(600, 80);
  m.trace_size('T', 1000, 100);
  m.level(1100, 120);
  m.write(path);
  auto r = run({"T", path, "4611"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CBRT=120\nCBRT=80\n");
  EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now 4611\n"
                               "The following dormant options are now enabled:\n"
                               " - VELA Enhanced V6 Timer Resolution.\n"
                               " - SCANFREEHEAPBLOCKS in _cb_prolog and _cb_epilog.\n");
}

TEST_F(Ostrel, FindsTheControllerWordBeforeItsSignatureBehindPrefixAndLdt) {
  PatchModuleLayout layout;
  layout.zero_prefix = true;
  layout.ldt_paragraphs = 3;  // header at 128, code at 304, the scan from 432
  PatchModule m(layout);
  m.trace_size('C', 420, 77);  // starts before the scan does
  m.level(600, 70);
  m.trace_size('C', 1500, 250);
  m.write(path);
  auto r = run({"c", path, "4610"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CBRT=70\n");
  EXPECT_EQ(r.err, asked(250) + ", done!  Tracesize is now 4610\n"
                               "The following dormant options are now enabled:\n"
                               " - SCANFREEHEAPBLOCKS in _cb_prolog and _cb_epilog.\n");
  Bytes want = m.bytes();
  want[1494] = 0x02;
  want[1495] = 0x12;
  EXPECT_EQ(module(), want);
}

TEST_F(Ostrel, DeclinedConfirmationLeavesTheModuleAlone) {
  PatchModule m = terminal();
  m.write(path);
  for (std::string answer : {"n\n", "", "ok"}) {
    auto r = run({"T", path, "400"}, answer);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, asked(100) + ", bailing out.\n");
    EXPECT_EQ(module(), m.bytes());
  }
}

TEST_F(Ostrel, RefusesBeforeWritingAnything) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // the module goes second
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"size not a number", {"T", "4x"}, 1, "The size must be a decimal number of trace entries: 4x\n"},
      {"size empty", {"T", ""}, 1, "The size must be a decimal number of trace entries: \n"},
      {"argument too long", {"T", std::string(300, '4')}, 1, "\tArgument 3 is too long (at most 255 characters).\n"},
      {"signature of the other runtime", {"C", "400"}, 1, kNotFound},
  };
  for (const Case& c : cases) {
    PatchModule m = terminal();
    m.write(path);
    auto r = run({c.args[0], path, c.args[1]}, "y\n");
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(module(), m.bytes()) << c.name;
  }
}

// Blocks are 256 bytes from the scan's start and do not overlap; a 00 50 in
// a block's last 19 bytes starts the next block. Wherever the signature lies
// it must be found, also after such a near-miss has moved the blocks.
TEST_F(Ostrel, FindsTheSignatureAtEveryPositionAcrossBlockBoundaries) {
  for (char env : {'T', 'C'}) {
    for (bool decoy : {false, true}) {
      for (long offset = 8; offset < 720; ++offset) {
        PatchModule m(PatchModuleLayout{2048});
        long sig = 256 + offset;
        if (decoy && (offset < 225 || offset > 255)) m.put(256 + 240, {0x00, 0x50});
        m.trace_size(env, sig, 1234);
        m.write(path);
        auto r = run({std::string(1, env), path, "400"}, "y");
        ASSERT_EQ(r.status, 0) << env << " decoy " << decoy << " offset " << offset << r.err;
        long word = env == 'T' ? sig + 12 : sig - 6;
        ASSERT_EQ(word_at(word), (Bytes{0x90, 0x01})) << env << " offset " << offset;
      }
    }
  }
}

TEST_F(Ostrel, SeesALevelMarkerAcrossABlockBoundary) {
  PatchModule m;
  m.level(256 + 253, 80);  // "CBR" ends the first block, "T080" starts the next
  m.trace_size('T', 1000, 100);
  m.write(path);
  auto r = run({"T", path, "4609"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CBRT=80\n");
  EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now 4609\n"
                               "The following dormant options are now enabled:\n"
                               " - VELA Enhanced V6 Timer Resolution.\n");
}

// The last block has no next one to move to: a 00 50 near the end of the
// file ends the search instead of starting it over at the same place.
TEST_F(Ostrel, EndsTheSearchAtTheEndOfTheFile) {
  for (size_t size : {size_t{1000}, size_t{1024}}) {  // the last block short, and ending at the end
    for (long back = 2; back <= 24; ++back) {
      PatchModule m(PatchModuleLayout{size});
      m.put(static_cast<long>(size) - back, {0x00, 0x50});
      m.write(path);
      auto r = run({"T", path, "400"}, "y");
      EXPECT_EQ(r.status, 1) << size << " " << back;
      EXPECT_EQ(r.err, kNotFound) << size << " " << back;
    }
  }
  // A signature that still fits into the last bytes is found there.
  PatchModule m(PatchModuleLayout{1000});
  m.trace_size('T', 1000 - 14, 300);
  m.write(path);
  auto r = run({"T", path, "400"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(word_at(998), (Bytes{0x90, 0x01}));
}

// The demo module of the README: the runtime's data 0x40 into the data
// group, which follows the header and the 64 paragraphs of code.
TEST_F(Ostrel, PatchesTheDemoModule) {
  testkit::DemoModuleFiles f = testkit::write_demo_module(dir.path().string());
  auto r = run({"T", f.module, "400"}, "y");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CBRT=80\n");
  EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now 400\n");
  Bytes want = testkit::demo_module().build();
  want[128 + 1024 + 0x40 + 12] = 0x90;
  want[128 + 1024 + 0x40 + 13] = 0x01;
  EXPECT_EQ(testkit::read_file(f.module), want);
}

TEST_F(Ostrel, InstalledProgramTakesItsAnswerFromStandardInput) {
  PatchModule m = terminal();
  m.write(path);
  auto r = testkit::run_binary(testkit::installed("ostrel") + " T " + path + " 2000", "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CBRT=80\n");
  EXPECT_EQ(r.err, asked(100) + ", done!  Tracesize is now 2000\n");
  EXPECT_EQ(word_at(1012), (Bytes{0xD0, 0x07}));
}

}  // namespace
