// VANTERIK under faults: a module or folder it may not write, a write limit
// that stops the new module half-way, a fatal error half-way through the
// fixups. A failed run leaves the module byte-identical, leaves no scratch
// file and ends with status 1.
#include <gtest/gtest.h>

#include "child.h"
#include "testkit/linkmodule.h"

using robust::Bench;
using robust::Fault;
using testkit::Bytes;
using testkit::link_fixup;
using testkit::read_file;

namespace {

// Code (4 paragraphs), data (3) and stack (2) with four good fixups, then
// `more`.
Bytes module(std::vector<testkit::LinkFixup> more = {}) {
  testkit::LinkModule m;
  testkit::LinkGroup code = testkit::link_group(1, 4);
  testkit::poke16(code.data, 6, 0x0002);
  testkit::LinkGroup data = testkit::link_group(2, 3);
  testkit::poke16(data.data, 4, 0x0001);
  m.groups = {code, data, testkit::link_group(4, 2)};
  m.fixups = {link_fixup(1, 2, 0, 2), link_fixup(1, 1, 0, 6), link_fixup(1, 2, 1, 4), link_fixup(2, 1, 0, 4)};
  m.fixups.insert(m.fixups.end(), more.begin(), more.end());
  return m.build();
}

struct Work {
  Bench bench;
  Bytes before;
  explicit Work(const Bytes& b = module()) : before(b) { testkit::write_file(bench.work_file("A.286"), before); }
  testkit::RunResult run(const Fault& fault) const { return bench.run("vanterik", {"-n", "A.286"}, "", fault); }
  void expect_untouched(const testkit::RunResult& r, const std::string& message) const {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(read_file(bench.work_file("A.286")), before);
    EXPECT_FALSE(bench.exists("A.PST"));
  }
};

}  // namespace

TEST(VanterikFaults, AReadOnlyModuleIsRefusedAndLeftAlone) {
  Work s;
  s.bench.give_away(0755, "A.286", 0444);
  s.expect_untouched(s.run(Fault{true, -1}), "ERROR: Could not open A.286\n");
}

TEST(VanterikFaults, AReadOnlyFolderHasNoRoomForTheNewModule) {
  Work s;
  s.bench.give_away(0555, "A.286", 0644);
  s.expect_untouched(s.run(Fault{true, -1}), "ERROR: Could not open A.PST\n");
}

// The new module (header, LDT of 1616 bytes, groups) is cut at 1000 bytes.
TEST(VanterikFaults, AWriteLimitCuttingTheNewModuleLeavesTheOldOne) {
  Work s;
  s.expect_untouched(s.run(Fault{false, 1000}), "ERROR: Could not write LDT\n");
}

TEST(VanterikFaults, AWriteLimitPastTheNewModuleLetsItComplete) {
  Work s;
  auto r = s.run(Fault{false, 1 << 20});
  EXPECT_EQ(r.status, 0);
  Bytes after = read_file(s.bench.work_file("A.286"));
  // Vanteriked: descriptor 9 is the LDT group, and the fixed-up words hold
  // selectors (code paragraph 0 word 6: the code selector 0x6F).
  ASSERT_GT(after.size(), 128u + 1616 + 6);
  EXPECT_EQ(after[81], 0xFE);
  EXPECT_EQ(after[128 + 1616 + 6], 0x6F);
  EXPECT_FALSE(s.bench.exists("A.PST"));
}

// Four fixups are applied before the fifth is found bad.
TEST(VanterikFaults, AFatalErrorAmongTheFixupsLeavesTheModuleAsItWas) {
  struct Case {
    testkit::LinkFixup bad;
    std::string message;
  };
  const Case cases[] = {
      {link_fixup(1, 2, 9, 0), "12 0009 00\nERROR: Invalid fixup\n"},              // paragraph past the code group
      {link_fixup(1, 9, 0, 0), "19 0000 00\nERROR: Invalid fixup\n"},              // no such target bucket
      {link_fixup(2, 1, 2, 0), "21 0002 00  *=1234\nERROR: fixup 7 too large\n"},  // place 4 in its block + 3 selectors
  };
  for (const Case& c : cases) {
    Bytes b = module({c.bad});
    // Data paragraph 2 holds 0x1234, the value the last case fixes up.
    b[128 + 64 + 32] = 0x34;
    b[128 + 64 + 33] = 0x12;
    Work s(b);
    s.expect_untouched(s.run(Fault{}), c.message);
  }
}
