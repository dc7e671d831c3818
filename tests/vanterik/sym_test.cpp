// The SYM file: merged into the last code group that can take it, appended
// otherwise, and stamped with the time of the run.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixture.h"
#include "testkit/demo_module.h"

using namespace vtest;
using testkit::link_group;
using testkit::read_file;
using testkit::write_file;

namespace {

Bytes sym_of(size_t n) {
  Bytes s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<unsigned char>(i * 7 + 1);
  return s;
}

std::string stamped(const Bytes& sym) { return std::string(sym.begin(), sym.end()) + "\n" + STAMP + "\n"; }

}  // namespace

TEST(VanterikSym, MergesIntoTheCodeGroupWithATrailer) {
  struct Case {
    size_t size;
    unsigned paras;
    Bytes trailer_rest;   // after marker, size, year byte and packed time
    const char* offset;   // counted from the start of the file, zero record included
    bool prefix = false;
  } cases[] = {
      {32, 3, {}, "00000730"},
      {33, 4, Bytes(15, 0), "00000740"},
      {1000, 64, Bytes(8, 0), "00000B00"},
      {32, 3, {}, "000007B0", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Workspace w;
    auto m = small_module();
    m.zero_prefix = c.prefix;
    write_file(w.mod, m.build());
    Bytes sym = sym_of(c.size);
    write_file(w.sym, sym);
    auto r = w.run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(BANNER) + ".\nThe SYM was merged into CODE at file offset " + c.offset +
                         "\n\nFile successfully vanteriked\n");
    Bytes trailer = cat({text("Vanterik"),
                         {static_cast<unsigned char>(c.size), static_cast<unsigned char>(c.size >> 8), 0x00},
                         {0xF8, 0x39, 0x4A, 0xC0, 0x01},
                         c.trailer_rest});
    EXPECT_EQ(read_file(w.mod), small_expected(c.prefix, c.paras, cat({sym, trailer})));
    // The merged SYM does not carry the stamp of its own run; the file does.
    EXPECT_EQ(testkit::read_text(w.sym), stamped(sym));
  }
}

TEST(VanterikSym, SwitchesChooseMergeAppendOrNeither) {
  struct Case {
    std::vector<std::string> args;
    bool merged;
    bool appended;
  } cases[] = {
      {{}, true, false},
      {{"-c"}, true, false},
      {{"-n"}, false, false},
      {{"-n", "-c"}, false, true},
      {{"-n", "-m"}, true, false},
  };
  Bytes sym = sym_of(16);
  Bytes trailer = cat({text("Vanterik"), {0x10, 0x00, 0x00, 0xF8, 0x39, 0x4A, 0xC0, 0x01}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size() ? c.args.back() : "default");
    Workspace w;
    write_file(w.mod, small_module().build());
    write_file(w.sym, sym);
    auto r = w.run(c.args);
    EXPECT_EQ(r.status, 0);
    Bytes expected = c.merged ? small_expected(false, 2, cat({sym, trailer})) : small_expected();
    if (c.appended) expected = cat({expected, text(stamped(sym))});
    EXPECT_EQ(read_file(w.mod), expected);
    EXPECT_EQ(r.out.find("The SYM was merged into CODE") != std::string::npos, c.merged);
    EXPECT_EQ(r.out.find("Combine of  " + w.mod + "  and  " + w.sym + "  completed.") != std::string::npos,
              c.appended);
    EXPECT_EQ(testkit::read_text(w.sym), stamped(sym));
  }
}

TEST(VanterikSym, TakesTheLastCodeGroupWithRoomOrAppends) {
  struct Case {
    uint16_t code2_paras;
    int code_type;           // 0: no first code group
    std::string merged_into; // empty: appended
  } cases[] = {
      {0xFFF0, 1, "CODE2"},
      {0xFFFD, 1, "CODE"},   // 0xFFFD + 2 is not below 0xFFFF
      {0xFFFD, 0, ""},
  };
  Bytes sym = sym_of(16);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.merged_into);
    Workspace w;
    testkit::LinkModule m;
    m.groups = {link_group(static_cast<uint8_t>(c.code_type), c.code_type ? 1 : 0), link_group(2, 1),
                link_group(11, c.code2_paras), link_group(4, 1)};
    write_file(w.mod, m.build());
    write_file(w.sym, sym);
    auto r = w.run({});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes o = read_file(w.mod);
    if (c.merged_into.empty()) {
      EXPECT_EQ(r.out.find("merged"), std::string::npos);
      std::string tail = stamped(sym);
      EXPECT_EQ(std::string(o.end() - static_cast<long>(tail.size()), o.end()), tail);
    } else {
      EXPECT_NE(r.out.find("The SYM was merged into " + c.merged_into + " at"), std::string::npos);
      EXPECT_EQ(r.out.find("Combine"), std::string::npos);
      size_t desc = c.merged_into == "CODE" ? 0 : 2;
      uint16_t len = static_cast<uint16_t>(o.at(9 * desc + 1) | (o.at(9 * desc + 2) << 8));
      EXPECT_EQ(len, (c.merged_into == "CODE" ? 1 : c.code2_paras) + 2);
    }
  }
}

TEST(VanterikSym, ASymFileItCannotStampOrReadIsReportedAndTheRunStillSucceeds) {
  // A folder in place of the SYM file: not merged (silently), not stamped,
  // not appended; the messages go to standard output and the status stays 0.
  for (bool append : {true, false}) {
    SCOPED_TRACE(append);
    Workspace w;
    write_file(w.mod, small_module().build());
    std::filesystem::create_directory(w.sym);
    auto r = w.run(append ? std::vector<std::string>{} : std::vector<std::string>{"-n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected = std::string(BANNER) + ".\nFile successfully vanteriked\nCan't open " + w.sym + "\n";
    if (append) expected += "\nerr 2\nERROR: Combine failed. Could not open  " + w.sym;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(read_file(w.mod), small_expected());
    EXPECT_FALSE(w.exists(w.pst));
  }
}

// The demo module of the README: its SYM file goes into the code group,
// which follows the header (128 bytes) and the LDT group (101 paragraphs)
// and holds 64 paragraphs.
TEST(VanterikSym, MergesTheDemoModulesSymFile) {
  Workspace w;
  write_file(w.mod, testkit::demo_module().build());
  testkit::write_text(w.sym, testkit::demo_module_sym());
  auto r = w.run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) +
                       ".\nThe SYM was merged into CODE at file offset 00000D00\n\nFile successfully vanteriked\n");
  Bytes o = read_file(w.mod);
  const size_t at = 128 + 1616 + 1024;
  std::string sym = testkit::demo_module_sym();
  ASSERT_GE(o.size(), at + sym.size() + 8);
  EXPECT_EQ(std::string(o.begin() + at, o.begin() + at + sym.size()), sym);
  EXPECT_EQ(std::string(o.begin() + at + sym.size(), o.begin() + at + sym.size() + 8), "Vanterik");
}
