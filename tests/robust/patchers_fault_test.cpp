// KIVRA and OSTREL under faults: a module or folder they may not write, a
// write limit that stops a patch half-way. A failed run leaves the module as
// it was and ends with a non-zero status; a run that succeeds has patched it
// completely.
#include <gtest/gtest.h>

#include "child.h"
#include "testkit/patchmodule.h"

using robust::Bench;
using robust::Fault;
using testkit::Bytes;
using testkit::read_file;

namespace {

// Terminal runtime: level 80 at 300, the error-trap site at 1000 (slots at
// 1042, 1048, 1054, 1060 and 1066, the session byte at 1088) and the
// trace-size word (100 entries) at 2012.
testkit::PatchModule terminal_module() {
  testkit::PatchModule m;
  m.level(300, 80);
  m.trap_site('T', 1000);
  m.trace_size('T', 2000, 100);
  return m;
}

// KIVRA T A.286 DO EF 22
Bytes kivra_patched(Bytes b) {
  const std::string slots = "OD____FE____yy____yy____yy";
  for (size_t i = 0; i < slots.size(); ++i)
    if (slots[i] != '_') b[1042 + i] = static_cast<unsigned char>(slots[i]);
  b[1088] = 22;
  return b;
}

// OSTREL T A.286 400
Bytes ostrel_patched(Bytes b) {
  b[2012] = 0x90;
  b[2013] = 0x01;
  return b;
}

struct Tool {
  const char* name;
  std::vector<std::string> args;
  Bytes (*patched)(Bytes);
};
const Tool kTools[] = {
    {"kivra", {"T", "A.286", "DO", "EF", "22"}, kivra_patched},
    {"ostrel", {"T", "A.286", "400"}, ostrel_patched},
};

// A bench whose working folder holds the terminal module as A.286.
struct ModuleBench : Bench {
  Bytes before = terminal_module().bytes();
  ModuleBench() { testkit::write_file(work_file("A.286"), before); }
  Bytes now() const { return read_file(work_file("A.286")); }
};

}  // namespace

// Root writes read-only files and folders anyway (checked below), so the
// tools run as "nobody" here. A read-only module is refused; a read-only
// folder is no hindrance to a patch in place.
TEST(PatcherFaults, AReadOnlyModuleIsRefusedAReadOnlyFolderIsNoHindrance) {
  for (const Tool& t : kTools) {
    ModuleBench ro_module;
    ro_module.give_away(0755, "A.286", 0444);
    auto r = ro_module.run(t.name, t.args, "y", Fault{true, -1});
    EXPECT_NE(r.status, 0) << t.name;
    EXPECT_EQ(ro_module.now(), ro_module.before) << t.name;

    ModuleBench ro_folder;
    ro_folder.give_away(0555, "A.286", 0644);
    r = ro_folder.run(t.name, t.args, "y", Fault{true, -1});
    EXPECT_EQ(r.status, 0) << t.name << r.err;
    EXPECT_EQ(ro_folder.now(), t.patched(ro_folder.before)) << t.name;
  }
}

TEST(PatcherFaults, RootWritesAReadOnlyModuleRegardless) {
  if (geteuid() != 0) GTEST_SKIP() << "not root";
  ModuleBench bench;
  bench.give_away(0755, "A.286", 0444);
  auto r = bench.run("ostrel", {"T", "A.286", "400"}, "y", Fault{});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(bench.now(), ostrel_patched(bench.before));
}

// The limit falls inside the patch: KIVRA's third slot (1054, 1055) gets one
// byte before the write fails, OSTREL's word (2012, 2013) likewise. What was
// written is put back.
TEST(PatcherFaults, AWriteLimitHalfWayThroughThePatchLeavesTheModuleAsItWas) {
  struct Case {
    Tool tool;
    long limit;
    std::string out_tail;
    std::string err_tail;
  };
  const Case cases[] = {
      {kTools[0], 1055,
       "\tPatching [DO]... OK\n\tPatching [EF]... OK\nWRITE ERROR at file position 1054\n", "  ok...\n"},
      {kTools[0], 1043, "\tPatching [DO]... WRITE ERROR at file position 1042\n", "  ok...\n"},
      {kTools[1], 2013, "CBRT=80\n", "\n  OK\nWRITE ERROR at file position 2012\n"},
  };
  for (const Case& c : cases) {
    ModuleBench bench;
    auto r = bench.run(c.tool.name, c.tool.args, "y", Fault{false, c.limit});
    EXPECT_EQ(r.status, 1) << c.tool.name << c.limit;
    EXPECT_EQ(bench.now(), bench.before) << c.tool.name << c.limit;
    EXPECT_TRUE(r.out.size() >= c.out_tail.size() && r.out.substr(r.out.size() - c.out_tail.size()) == c.out_tail)
        << r.out;
    EXPECT_TRUE(r.err.size() >= c.err_tail.size() && r.err.substr(r.err.size() - c.err_tail.size()) == c.err_tail)
        << r.err;
  }
}

// A limit past the patch's last byte changes nothing: the run completes.
TEST(PatcherFaults, AWriteLimitPastThePatchLetsItComplete) {
  for (const Tool& t : kTools) {
    ModuleBench bench;
    auto r = bench.run(t.name, t.args, "y", Fault{false, 2014});
    EXPECT_EQ(r.status, 0) << t.name;
    EXPECT_EQ(bench.now(), t.patched(bench.before)) << t.name;
  }
}

// A module cut off just after the error-trap site (840) has no room for the
// slots (882 to 907): KIVRA refuses before asking, and the module neither
// changes nor grows.
TEST(PatcherFaults, KivraRefusesASiteCutOffByTheEndOfTheModule) {
  testkit::PatchModuleLayout layout;
  layout.size = 900;
  testkit::PatchModule m(layout);
  m.trap_site('T', 840);
  Bench bench;
  testkit::write_file(bench.work_file("A.286"), m.bytes());
  auto r = bench.run("kivra", {"T", "A.286", "DO"}, "y", Fault{});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "\n\tThe error-trap site at file position 840 is cut off by the end of the file.\n"
            "\tThe file was NOT modified\n");
  EXPECT_EQ(read_file(bench.work_file("A.286")), m.bytes());
}
