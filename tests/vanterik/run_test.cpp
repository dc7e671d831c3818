// The postprocessor run: output bytes, selectors, switches and fatal errors.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixture.h"
#include "vanterik/vanterik.h"

using namespace vtest;
using testkit::link_fixup;
using testkit::link_group;
using testkit::read_file;
using testkit::write_file;

namespace {

uint16_t word_at(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }

// Start of the LDT group and of the first group in an output without SRTL table.
constexpr size_t LDT_AT = 128;
constexpr size_t CODE_AT = 128 + 1616;

}  // namespace

TEST(VanterikRun, WritesTheSmallModuleByteForByte) {
  Workspace w;
  write_file(w.mod, small_module().build());
  auto r = w.run({"-n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) + ".\nFile successfully vanteriked\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(w.mod), small_expected());
  EXPECT_FALSE(w.exists(w.pst));
  // -n still stamps the SYM file (creating it) but neither merges nor appends.
  EXPECT_EQ(testkit::read_text(w.sym), std::string("\n") + STAMP + "\n");
}

TEST(VanterikRun, KeepsTheZeroPrefixAndAppendsAStampOnlySym) {
  // No SYM file and default switches: nothing to merge, the stamp creates
  // the SYM file, which is then appended.
  Workspace w;
  auto m = small_module();
  m.zero_prefix = true;
  write_file(w.mod, m.build());
  auto r = w.run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) + ".\nFile successfully vanteriked\nCombine of  " + w.mod + "  and  " + w.sym +
                       "  completed.");
  EXPECT_EQ(read_file(w.mod), cat({small_expected(true), text(std::string("\n") + STAMP + "\n")}));
}

TEST(VanterikRun, IndexAndSelectorSwitchesAgree) {
  Bytes input = small_module().build();
  std::vector<Bytes> outputs;
  for (std::vector<std::string> args : {std::vector<std::string>{"-n"}, {"-n", "-s67"}, {"-n", "-i0C"}}) {
    Workspace w;
    write_file(w.mod, input);
    ASSERT_EQ(w.run(args).status, 0);
    outputs.push_back(read_file(w.mod));
  }
  EXPECT_EQ(outputs[0], small_expected());
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_EQ(outputs[2], outputs[0]);

  Workspace w;
  write_file(w.mod, input);
  ASSERT_EQ(w.run({"-n", "-i20"}).status, 0);
  Bytes o = read_file(w.mod);
  EXPECT_EQ(word_at(o, CODE_AT + 2), 0x107);
  // max = 0x20 - 12 + 4 + 14, next = 0x20 + 4, base 12, first 0x20
  EXPECT_EQ(Bytes(o.begin() + LDT_AT, o.begin() + LDT_AT + 8), (Bytes{0x26, 0, 0x24, 0, 0x0C, 0, 0x20, 0}));
  EXPECT_EQ(Bytes(o.begin() + LDT_AT + 8 + 0x20 * 8, o.begin() + LDT_AT + 16 + 0x20 * 8),
            (Bytes{0x2F, 0, 0, 0, 0, 2, 0, 0}));
}

TEST(VanterikRun, SizesSelectorsByTheGapToTheNext) {
  Workspace w;
  testkit::LinkModule m;
  auto code = link_group(1, 1);
  testkit::poke16(code.data, 0, 0x0020);
  testkit::poke16(code.data, 2, 0x1020);
  m.groups = {code, link_group(2, 0x1100), link_group(4, 1)};
  m.fixups = {link_fixup(1, 2, 0, 0), link_fixup(1, 2, 0, 2)};
  write_file(w.mod, m.build());
  ASSERT_EQ(w.run({"-n"}).status, 0);
  Bytes o = read_file(w.mod);
  auto limit = [&](unsigned index) { return word_at(o, LDT_AT + 8 + index * 8); };
  EXPECT_EQ(word_at(o, CODE_AT), 0x67);
  EXPECT_EQ(word_at(o, CODE_AT + 2), 0x6F);
  EXPECT_EQ(limit(15), 0x1FF);   // data paragraph 0, added by the sizing, 0x20 before the next
  EXPECT_EQ(limit(12), 0xFFFF);  // 0x20 .. 0x1020
  EXPECT_EQ(limit(13), 0xDFF);   // 0x1020 .. end of the group at 0x1100
  EXPECT_EQ(limit(14), 0x0F);    // code paragraph 0
  EXPECT_EQ(o.at(LDT_AT + 8 + 15 * 8 + 5), 2);
}

TEST(VanterikRun, AcceptsParagraphsUpToTheGroupMinimum) {
  // Data of 3 paragraphs with a minimum of 8: paragraph 6 is taken, and its
  // selector reaches to the minimum.
  Workspace w;
  testkit::LinkModule m;
  auto code = link_group(1, 1);
  testkit::poke16(code.data, 0, 6);
  auto data = link_group(2, 3);
  data.minimum = 8;
  m.groups = {code, data, link_group(4, 1)};
  m.fixups = {link_fixup(1, 2, 0, 0)};
  write_file(w.mod, m.build());
  auto r = w.run({"-n"});
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes o = read_file(w.mod);
  EXPECT_EQ(word_at(o, LDT_AT + 8 + 12 * 8), 0x1F);  // paragraphs 6 to 8
  EXPECT_EQ(word_at(o, LDT_AT + 8 + 14 * 8), 0x5F);  // data paragraph 0, up to 6
}

TEST(VanterikRun, DropsGroupsOfType8) {
  // A type-8 group between code and data: its descriptor is cleared, its
  // data is not carried, and the groups after it are found past it.
  Workspace w;
  auto m = small_module();
  auto dropped = link_group(8, 2);
  std::fill(dropped.data.begin(), dropped.data.end(), 0xDD);
  m.groups.insert(m.groups.begin() + 1, dropped);
  write_file(w.mod, m.build());
  ASSERT_EQ(w.run({"-n"}).status, 0);
  Bytes o = read_file(w.mod);
  Bytes expected = small_expected();
  EXPECT_EQ(Bytes(o.begin() + 9, o.begin() + 18), Bytes(9, 0));
  EXPECT_EQ(Bytes(o.begin() + 128, o.end()), Bytes(expected.begin() + 128, expected.end()));
}

TEST(VanterikRun, AllowsExactly1586Selectors) {
  // Distinct data paragraphs 1..n plus the three paragraph-0 selectors of
  // code, data and stack.
  auto module = [](int n) {
    testkit::LinkModule m;
    auto code = link_group(1, static_cast<uint16_t>((n * 2 + 15) / 16));
    for (int i = 0; i < n; ++i) {
      testkit::poke16(code.data, static_cast<size_t>(i) * 2, static_cast<uint16_t>(i + 1));
      m.fixups.push_back(link_fixup(1, 2, static_cast<uint16_t>(i / 8), static_cast<uint8_t>(i % 8 * 2)));
    }
    m.groups = {code, link_group(2, 2000), link_group(4, 1)};
    return m.build();
  };
  {
    Workspace w;
    write_file(w.mod, module(1583));
    ASSERT_EQ(w.run({"-n"}).status, 0);
    Bytes o = read_file(w.mod);
    EXPECT_EQ(Bytes(o.begin() + LDT_AT, o.begin() + LDT_AT + 8), (Bytes{0x40, 0x06, 0x3E, 0x06, 0x0C, 0, 0x0C, 0}));
    EXPECT_EQ(word_at(o, 82), 802);  // LDT paragraphs: 1586 / 2 + 9
  }
  {
    Workspace w;
    Bytes input = module(1584);
    write_file(w.mod, input);
    auto r = w.run({"-n"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: Selectors needed is more than 1600\n");
    EXPECT_EQ(read_file(w.mod), input);
    EXPECT_FALSE(w.exists(w.pst));
  }
}

TEST(VanterikRun, ConvertsTheSrtlTableAndResizesItsDescriptor) {
  Workspace w;
  testkit::LinkModule m;
  auto code = link_group(1, 2);
  std::fill(code.data.begin(), code.data.end(), 0x90);
  testkit::poke16(code.data, 0, 0);
  testkit::poke16(code.data, 4, 5);
  testkit::poke16(code.data, 8, 5);
  testkit::poke16(code.data, 16, 7);
  testkit::poke16(code.data, 20, 7);
  m.groups = {code, link_group(2, 1), link_group(4, 1)};
  m.fixups = {link_fixup(1, 2, 0, 0)};
  m.srtls = {{"LIBA", 0x00, {link_fixup(1, 0, 0, 4), link_fixup(1, 0, 0, 8)}},
             {"LIBB", 0x01, {link_fixup(1, 0, 1, 0), link_fixup(1, 0, 1, 4)}}};
  m.srtl_paras = 4;
  write_file(w.mod, m.build());
  auto r = w.run({"-n"});
  ASSERT_EQ(r.status, 0) << r.err;

  Bytes h = fill(128, 0);
  set(h, 0, {0x01, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
  set(h, 9, {0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  set(h, 18, {0x04, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
  set(h, 72, {0xFF, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x03, 0x00});  // (22 x 2 + 17) / 16
  set(h, 81, {0xFE, 0x65, 0x00, 0x00, 0x00, 0x65, 0x00, 0x00, 0x00});
  Bytes srtl = fill(48, 0);
  set(srtl, 0, {0x02, 0x00});
  set(srtl, 2, {'L', 'I', 'B', 'A', ' ', ' ', ' ', ' ', 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0x00, 0x5A,
                0x00, 0x00, 0x0D, 0x00, 0x01, 0x00});
  set(srtl, 24, {'L', 'I', 'B', 'B', ' ', ' ', ' ', ' ', 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0x81, 0x5A,
                 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00});
  Bytes ldt = fill(1616, 0);
  set(ldt, 0, {0x14, 0x00, 0x12, 0x00, 0x0C, 0x00, 0x0C, 0x00});
  set(ldt, 8 + 12 * 8, {0x0F, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00});
  set(ldt, 8 + 13 * 8, {0x00, 0x00, 0x50, 0x00, 0x00, 0x01, 0x00, 0x00});  // LIBA, one entry reserved and reused
  set(ldt, 8 + 14 * 8, {0x00, 0x00, 0x70, 0x00, 0x00, 0x01, 0x00, 0x00});  // LIBB reserves none:
  set(ldt, 8 + 15 * 8, {0x00, 0x00, 0x70, 0x00, 0x00, 0x01, 0x00, 0x00});  // every fixup takes its own
  set(ldt, 8 + 16 * 8, {0x1F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00});
  set(ldt, 8 + 17 * 8, {0x0F, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00});
  Bytes c = fill(32, 0x90);
  set(c, 0, {0x67, 0x00});
  set(c, 4, {0x6F, 0x00});
  set(c, 8, {0x6F, 0x00});
  set(c, 16, {0x77, 0x00});
  set(c, 20, {0x7F, 0x00});
  EXPECT_EQ(read_file(w.mod), cat({h, srtl, ldt, c, fill(32, 0), text(std::string(STAMP) + "\n")}));
}

TEST(VanterikRun, SetsTheLibraryFlagOfAnExtendedLibrary) {
  Workspace w;
  auto m = small_module();
  m.header_bytes[96] = 1;
  m.header_bytes[110] = 0x01;
  write_file(w.mod, m.build());
  ASSERT_EQ(w.run({"-n"}).status, 0);
  EXPECT_EQ(read_file(w.mod).at(110), 0x81);
}

TEST(VanterikRun, FatalFixupErrorsLeaveTheModuleAlone) {
  struct Case {
    testkit::LinkFixup bad;
    std::string err;
  } cases[] = {
      {link_fixup(2, 2, 0, 8), "22 0000 08  *=0009\nERROR: fixup 4 too large\n"},  // data has 3 paragraphs
      {link_fixup(8, 2, 0, 0), "82 0000 00\nERROR: Invalid fixup\n"},
      {link_fixup(1, 2, 0, 16), "12 0000 10\nERROR: Invalid fixup\n"},
      {link_fixup(1, 2, 3, 0), "12 0003 00\nERROR: Invalid fixup\n"},   // past the end of the code
      {link_fixup(1, 2, 2, 15), "12 0002 0F\nERROR: Invalid fixup\n"},  // word straddles the end
      {link_fixup(1, 0, 0, 0), "10 0000 00\nERROR: Invalid fixup\n"},   // no SRTL section open
      {link_fixup(1, 5, 0, 0), "15 0000 00\nERROR: Invalid fixup\n"},   // no such group
  };
  for (const Case& c : cases) {
    Workspace w;
    auto m = small_module();
    testkit::poke16(m.groups[1].data, 8, 0x0009);
    m.fixups = {link_fixup(1, 2, 0, 2), link_fixup(1, 1, 0, 6), c.bad};
    Bytes input = m.build();
    write_file(w.mod, input);
    auto r = w.run({"-n"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, std::string(BANNER) + ".");
    EXPECT_EQ(read_file(w.mod), input);
    EXPECT_FALSE(w.exists(w.pst));
    EXPECT_FALSE(w.exists(w.sym));
  }
}

TEST(VanterikRun, RefusesBadModulesAndNames) {
  Bytes good = small_module().build();
  auto no_stack = small_module();
  no_stack.groups.pop_back();
  auto unflagged = small_module();
  unflagged.fixup_flag = 0x00;
  auto many = small_module();
  many.srtls.assign(21, testkit::LinkSrtl{"LIB", 0, {}});
  many.srtl_paras = 23;
  auto big_table = small_module();
  big_table.srtl_paras = 24;
  Bytes unended = good;
  unended.resize(unended.size() - 4);  // the zero record that ends the list
  Bytes past_end = good;
  past_end[19] = 40;  // stack group of 40 paragraphs, past the end of the file

  struct Case {
    std::string name;
    Bytes module;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"no stack", no_stack.build(), {}, "ERROR: Invalid .286 file format\n"},
      {"unflagged", unflagged.build(), {}, "@ has un-vanteriked SRTLs and could not be processed\n"},
      {"many SRTLs", many.build(), {}, "ERROR: too many SRTLs found\n"},
      {"big table", big_table.build(), {},
       "ERROR: SRTL table group of 24 paragraphs is larger than the 23 the table can hold\n"},
      {"unended", unended, {}, "ERROR: Cannot read fixups\n"},
      {"past end", past_end, {}, "ERROR: Could not read old bucket\n"},
      {"short", Bytes(100, 1), {}, "ERROR: Could not read header\n"},
      {"not vanteriked", good, {"-d"}, "@ is not vanteriked, no LDT table present\n"},
      {"index", good, {"-i640"}, "ERROR: first index 640 is beyond the selector table (highest 63D)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Workspace w;
    write_file(w.mod, c.module);
    auto r = w.run(c.args);
    std::string err = c.err;
    if (err[0] == '@') err.replace(0, 1, w.mod);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(read_file(w.mod), c.module);
    EXPECT_FALSE(w.exists(w.pst));
  }

  // With -x a module without a stack group is taken.
  Workspace w;
  write_file(w.mod, no_stack.build());
  EXPECT_EQ(w.run({"-n", "-x"}).status, 0);
  // A processed module is not processed again.
  Bytes once = read_file(w.mod);
  auto again = w.run({});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "ERROR: File " + w.mod + " is already Vanteriked\n");
  EXPECT_EQ(read_file(w.mod), once);
}

TEST(VanterikRun, RefusesNamesItCannotWorkWith) {
  Workspace w;
  Bytes input = small_module().build();
  struct Case {
    std::string name;
    std::string err;  // @ stands for the path
  } cases[] = {
      {"APP.PsT", "ERROR: Cannot Vanterik a file with extension .pst \n"},
      {"APP.pst2", "ERROR: Cannot Vanterik a file with extension .pst \n"},
      {"APP", "ERROR: @ has no file extension\n"},
      {"APP.sym", "ERROR: @ would be its own SYM file\n"},
  };
  for (const Case& c : cases) {
    std::string path = w.dir.file(c.name);
    write_file(path, input);
    auto r = testkit::run_entry(vanterik_main, {"vanterik", path});
    std::string err = c.err;
    if (size_t at = err.find('@'); at != std::string::npos) err.replace(at, 1, path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(read_file(path), input);
  }
}

TEST(VanterikRun, AScratchFileThatCannotBeMadeLeavesTheModuleAlone) {
  Workspace w;
  Bytes input = small_module().build();
  write_file(w.mod, input);
  std::filesystem::create_directory(w.pst);
  auto r = w.run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: Could not open " + w.pst + "\n");
  EXPECT_EQ(read_file(w.mod), input);
  EXPECT_FALSE(w.exists(w.sym));
}

TEST(VanterikSwitches, ErrorsHelpAndUsage) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_after_banner;
    std::string err;
  } cases[] = {
      {{"-q"}, 1, "", "SWITCH ERROR:  only the \"d\" switch is allowed.\n"},
      {{"-i20", "-d"}, 1, "", "SWITCH ERROR:  '-d' switch may not be used with any other switch\n"},
      {{"-d", "-x"}, 1, "", "SWITCH ERROR:  '-d' switch may not be used with any other switch\n"},
      {{"-s67", "-i0C"}, 1, "", "SWITCH ERROR:  both the index, '-i' and selector, '-s' were present\n"},
      {{"-n", "-c", "-m"}, 0, "", "USAGE: vanterik [-d] filename\nHELP:  vanterik -h\n\n"},
  };
  Workspace w;
  for (const Case& c : cases) {
    auto r = w.run(c.args, false);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, BANNER + c.out_after_banner);
    EXPECT_EQ(r.err, c.err);
  }
  const std::string help =
      "USAGE: vanterik [-d] filename\nHELP:  vanterik -h\n\n"
      "The VANTERIK utility is a postprocessor that converts a \n"
      "LINK86 load module into a module that loads faster.\n\n"
      "\tOPTIONS:\n"
      "\t   -d          Dump the LDT of a vanteriked file.\n"
      "\t   -h          Print this help information.\n"
      "\t   -c          Append SYM file to 286 file (default).\n"
      "\t   -m          Merge SYM file to last code section.\n"
      "\t   -n          Do not append SYM file to 286 file.\n"
      "Invoke the VANTERIK utility with the following command\n"
      "line format:\n\n  VANTERIK filespec.286\n\n\n";
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"-n", "-h", "-q"}}) {
    auto r = w.run(args, false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, BANNER + help);
    EXPECT_EQ(r.err, "");
  }
}

TEST(VanterikEndToEnd, InstalledBinaryProcessesAModule) {
  Workspace w;
  write_file(w.mod, small_module().build());
  auto r = testkit::run_binary(testkit::installed("vanterik") + " -n " + w.mod);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(BANNER) + ".\nFile successfully vanteriked\n");
  Bytes o = read_file(w.mod);
  Bytes expected = small_expected();
  ASSERT_EQ(o.size(), expected.size());
  // Everything but the time stamp of the run.
  size_t stamp = std::string(STAMP).size() + 1;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end() - static_cast<long>(stamp), o.begin()));
}
