// The SYM file's data symbols: the reader's token rules, the data list and
// its sizes, the data segments in the data space, names by offset and the
// spot check of the SYM file against the dump.
#include <gtest/gtest.h>

#include "morvik/symbols/sortsym.h"
#include "tests/morvik/symbols/symbols_fixture.h"

using morvik_test::report_body;
using morvik_test::report_to_file;
using morvik_test::summary;
using morvik_test::SymFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::SymFile;

namespace {

struct Node {
  std::string name;
  int32_t offset;
  int16_t size;
  bool operator==(const Node&) const = default;
};

std::vector<Node> data_list(const morvik::Session& s) {
  std::vector<Node> v;
  for (const auto& n : s.symbols.DataList) v.push_back({n.name, n.offset, n.size});
  return v;
}

// A process with one data segment: enough for the reader.
struct OneProcess {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t data = b.add_segment(proc, 0x1000, false);
  uint16_t top = morvik_test::add_top_slot(b, proc);
};

}  // namespace

TEST(SymDataList, TokenRulesSizesAndNameOrder) {
  OneProcess d;
  SymFixture f(d.b, d.proc);
  SymFile sym;
  sym.pair(0x0010, "EARLY");  // before the first keyword: in no section
  sym.rtdata(0x0040);          // anywhere: a BASIC application's file
  sym.labels().code(0x0100).label(0x0010, "MAINLINE");
  sym.variables().data(0x0010);
  sym.variable(0x0004, "COUNT%").variable(0x0006, "TOTAL").variable(0x000C, "FLAG").variable(0x0011, "ODD");
  sym.variable(0x0012, "B").variable(0x0014, "A").variable(0x0016, "B");
  sym.variable(0x0018, "lower").variable(0x001A, "_under");  // the runtimes' names are not listed
  sym.rtdsv(0x0020).variable(0x0024, "rtdsv_2");             // the last rtdsv wins
  sym.data(0x0000).variable(0x0002, "LOWBASE");
  f.sym(sym);
  morvik::makeDataList(f.s);
  EXPECT_EQ(data_list(f.s), (std::vector<Node>{{"A", 0x114, 2},
                                               {"B", 0x112, 2},
                                               {"B", 0x116, 4},  // distance 10, capped
                                               {"COUNT%", 0x104, 2},
                                               {"FLAG", 0x10C, 4},
                                               {"LOWBASE", 0x002, 4},
                                               {"ODD", 0x111, 1},  // odd offset
                                               {"TOTAL", 0x106, 4},
                                               {"rtdsv", 0x120, 4},
                                               {"rtdsv_2", 0x124, -290}}));  // the next one lies below it
  EXPECT_EQ(f.s.symbols.rtdsvOffset, 0x124);
  EXPECT_EQ(f.s.symbols.BASICsym, 1);
  EXPECT_EQ(f.take(), "");
}

TEST(SymDataList, LongTokensAreCutAndKeepThePairsInStep) {
  OneProcess d;
  SymFixture f(d.b, d.proc);
  const std::string long_name(200, 'N');
  SymFile sym;
  sym.variables();
  sym.pair("000000010", "NINE");    // a value over 8 characters: its first 8
  sym.pair("0020", long_name);      // 159 read, 48 kept
  sym.pair("00ff", "LOWERHEX");     // lower-case digits are not hexadecimal digits
  sym.pair("0100", "AFTER");
  f.sym(sym);
  morvik::makeDataList(f.s);
  EXPECT_EQ(data_list(f.s), (std::vector<Node>{{"AFTER", 0x100, 4},
                                               {"LOWERHEX", 0x31F, 1},
                                               {"NINE", 0x1, 1},
                                               {std::string(48, 'N'), 0x20, 4}}));
}

TEST(SymDataList, TokensAcrossTheFilesBlocks) {
  OneProcess d;
  SymFixture f(d.b, d.proc);
  // The file is read 64 KB at a time: a pair that straddles a block's end,
  // a token longer than a block, and a NUL in a name.
  SymFile sym;
  sym.variables();
  std::string head = sym.text() + "0002 " + std::string(65536 - sym.text().size() - 5 - 4, 'F') + " 0004 ACROSS\r\n";
  std::string text = head + "0006 " + std::string(100000, 'L') + "\r\n0008 AFTER\r\n" + std::string("000A NUL\0CUT\r\n", 14);
  f.sym(text);
  morvik::makeDataList(f.s);
  EXPECT_EQ(data_list(f.s), (std::vector<Node>{{"ACROSS", 4, 2},
                                               {"AFTER", 8, 2},
                                               {std::string(48, 'F'), 2, 2},
                                               {std::string(48, 'L'), 6, 2},
                                               {"NUL", 0xA, 4}}));
}

TEST(SymDataList, NoVariablesAndTheMissingRtdsvLabel) {
  struct Case {
    const char* what;
    std::string text;
    int16_t basic;
    int16_t basicsym;
    const char* report;
  } cases[] = {
      {"labels only", SymFile().labels().code(0x10).label(0x20, "MAIN").label(0x30, "_crt").text(), 1, 1,
       "\n\t Cannot find runtime label 'rtdsv' in SYM file.\n"},
      {"not a BASIC application", SymFile().labels().label(0x20, "MAIN").text(), 0, 0, ""},
      {"empty file", "", 1, 0, "\n\t Cannot find runtime label 'rtdsv' in SYM file.\n"},
      {"binary garbage", std::string("\x01\xFF\x00 VARIABLES\x00\x7F zz\n\x80\x81 \x90", 22), 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OneProcess d;
    SymFixture f(d.b, d.proc);
    f.s.BASIC = c.basic;
    f.sym(c.text);
    morvik::makeDataList(f.s);
    EXPECT_LE(f.s.symbols.DataList.size(), 1u);
    if (std::string(c.what) != "binary garbage") {
      EXPECT_TRUE(f.s.symbols.DataList.empty());
    }
    EXPECT_EQ(f.s.symbols.rtdsvOffset, 0);
    EXPECT_EQ(f.s.symbols.BASICsym, c.basicsym);
    EXPECT_EQ(f.take(), c.report);
  }
}

namespace {

// A controller application in a paged dump: code, three data segments and
// a stack. The first data segment starts 0x800 into its page, so the data
// space begins there.
struct ControllerData {
  DumpBuilder b{DumpVariant::PagedController};
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);                     // 0x67, linear 0x400000
  uint16_t d1 = b.add_segment_at(proc, 0x00401800, 0x0800, false);      // 0x6F
  uint16_t d2 = b.add_segment(proc, 0x2000, false);                     // 0x77, 0x402000
  uint16_t stack = b.add_segment(proc, 0x1000, false);                  // 0x7F, 0x404000
  uint16_t d3 = b.add_segment(proc, 0x1000, false);                     // 0x87, 0x405000
  uint16_t top = morvik_test::add_top_slot(b, proc);
};

struct Seg {
  uint16_t selector;
  uint32_t offset_in_appl;
  bool placed;
  bool operator==(const Seg&) const = default;
};

std::vector<Seg> segments(const morvik::Session& s) {
  std::vector<Seg> v;
  for (const auto& d : s.symbols.dlisthead) v.push_back({d.selector, d.offset_in_appl, d.placed});
  return v;
}

}  // namespace

TEST(DataSegments, PagedSegmentsInTheDataSpace) {
  ControllerData d;
  SymFixture f(d.b, d.proc);
  f.s.SS_selector = d.stack;
  morvik::sort_data_segments(f.s);
  EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x6F, 0x800, true}, {0x77, 0x1000, true}, {0x87, 0x4000, true}}));
  struct Case {
    uint32_t offset, addr;
  } cases[] = {
      {0x0100, 0},           // before the first segment
      {0x0800, 0x006F0000},  // exactly a segment's start
      {0x0900, 0x006F0100},
      {0x1000, 0x00770000},
      {0x1FFF, 0x00770FFF},
      {0x3000, 0x00772000},  // no limit check
      {0x4000, 0x00870000},
      {0x4100, 0x00870100},  // beyond the last start: relative to the last
  };
  for (const auto& c : cases) EXPECT_EQ(morvik::getAddress(f.s, c.offset), c.addr) << std::hex << c.offset;
}

TEST(DataSegments, ControllerCodeAliasAndTerminalEnd) {
  {
    // The controller's first data entry holding the runtime's code start is
    // not data: the data space starts at the next one.
    ControllerData d;
    d.b.put(d.proc, uint32_t{d.d1} << 16 | 14, {0xB8, 0x2A, 0x00, 0x50});
    SymFixture f(d.b, d.proc);
    f.s.SS_selector = d.stack;
    morvik::sort_data_segments(f.s);
    EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x77, 0x0000, true}, {0x87, 0x3000, true}}));
  }
  {
    // Only the first entry is tested.
    ControllerData d;
    d.b.put(d.proc, uint32_t{d.d2} << 16 | 30, {0x8C, 0xD3, 0x8B, 0xC4});
    SymFixture f(d.b, d.proc);
    f.s.SS_selector = d.stack;
    morvik::sort_data_segments(f.s);
    EXPECT_EQ(segments(f.s).size(), 3u);
  }
  {
    // A terminal application's data ends at the first entry of limit 0x41.
    DumpBuilder b(DumpVariant::PagedTerminal);
    int p = b.add_process();
    b.add_segment(p, 0x1000, false);
    b.add_segment(p, 0x42, false);
    b.add_segment(p, 0x1000, false);
    morvik_test::add_top_slot(b, p);
    SymFixture f(b, p);
    f.s.space.termappl = 1;
    morvik::sort_data_segments(f.s);
    EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x67, 0, true}}));
  }
}

TEST(DataSegments, UnpagedListsByBaseAndUnplacedHead) {
  {
    // EL: no page walk; segments of page-directory index 0 stand by base.
    DumpBuilder b(DumpVariant::ELController);
    int p = b.add_process();
    b.add_segment_at(p, 0x00430000, 0x1000, false);
    b.add_segment_at(p, 0x00410000, 0x1000, false);
    b.add_segment_at(p, 0x00420000, 0x1000, false);
    morvik_test::add_top_slot(b, p);
    SymFixture f(b, p);
    morvik::sort_data_segments(f.s);
    EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x6F, 0, true}, {0x77, 0, true}, {0x67, 0, true}}));
    EXPECT_EQ(morvik::getAddress(f.s, 0), 0x006F0000u);
  }
  {
    // The head segment's page is not in the page table: no segment is
    // placed, so no offset is given a guessed address.
    DumpBuilder b(DumpVariant::PagedController);
    int p = b.add_process();
    b.set_slot(p, 12, 0x00480000, 0x0FFF, 0xF3);  // never mapped
    b.add_segment(p, 0x1000, false);
    morvik_test::add_top_slot(b, p);
    SymFixture f(b, p);
    morvik::sort_data_segments(f.s);
    EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x67, 0, false}, {0x6F, 0, false}}));
    EXPECT_EQ(morvik::getAddress(f.s, 0), 0u);
    EXPECT_EQ(morvik::getAddress(f.s, 0x10), 0u);
  }
  {
    DumpBuilder b(DumpVariant::MarraTerminal);
    int p = b.add_process();
    SymFixture f(b, p);
    morvik::sort_data_segments(f.s);
    EXPECT_TRUE(f.s.symbols.dlisthead.empty());
    EXPECT_EQ(morvik::getAddress(f.s, 0x20), 0u);
  }
}

TEST(SymDataList, NamesByOffset) {
  OneProcess d;
  SymFixture f(d.b, d.proc);
  f.sym(SymFile().variables().data(0x1000).variable(0x0004, "ZETA").variable(0x0004, "ALPHA").variable(0x0008, "BIG")
            .data(0).variable(0x0010, "LOW"));
  morvik::makeDataList(f.s);
  for (uint32_t addr : {0x00000004u, 0x00670010u, 0x00000006u, 0x00000008u, 0x00010004u}) {
    morvik::findDataname(f.s, addr, 1);
    f.out << "|";
  }
  // The first name in name order at an offset; only the offset's low 16
  // bits are compared, and offsets above 0xFFFF never match.
  EXPECT_EQ(f.take(), "(Not Found)|LOW|(Not Found)|(Not Found)|(Not Found)|");
  f.sym(SymFile().variables().variable(0x0004, "ZETA").variable(0x0004, "ALPHA"));
  morvik::makeDataList(f.s);
  morvik::findDataname(f.s, 0x006F0004);
  EXPECT_EQ(f.take(), "ALPHA");
}

namespace {

// A terminal (or controller) application whose data segment is DS, with
// rtdsv at 0x400 unless given.
struct SpotCheck {
  explicit SpotCheck(DumpVariant v) : b(v) {}
  DumpBuilder b;
  int proc = b.add_process();
  uint16_t ds = b.add_segment(proc, 0x1000, false);    // 0x67
  uint16_t other = b.add_segment(proc, 0x1000, false);  // 0x6F
  uint16_t top = morvik_test::add_top_slot(b, proc);
  void word(uint16_t at, uint16_t v) { b.put(proc, uint32_t{ds} << 16 | at, testkit::le16_bytes(v)); }
};

void prepare(SymFixture& f, const SpotCheck& c, uint16_t rtdsv, bool terminal) {
  f.s.DS_selector = c.ds;
  f.s.space.termappl = terminal;
  f.s.symbols.rtdsvOffset = rtdsv;
}

const char* const kBanner =
    "\n\t\t**************************************\n"
    "\t       *                                      *\n"
    "\t      *    The SYM file is NOT a good match    *\n"
    "\t       *                                      *\n"
    "\t\t**************************************\n";

}  // namespace

TEST(BadSym, AMatchIsInconclusive) {
  struct Case {
    DumpVariant v;
    bool terminal;
    uint16_t word;  // at rtdsv
    int16_t extracted;
    std::vector<std::string> summary;
  } cases[] = {
      {DumpVariant::PagedTerminal, true, 0x67, 0, {" A spot check of SYM file matching is inconclusive."}},
      {DumpVariant::PagedTerminal, true, 0x67, 1, {}},  // the SYM file came out of the dump
      {DumpVariant::ELController, false, 0x6F, 0, {" A spot check of SYM file matching is inconclusive."}},
  };
  for (const auto& c : cases) {
    SpotCheck d(c.v);
    d.word(0x400, c.word);
    SymFixture f(d.b, d.proc);
    prepare(f, d, 0x400, c.terminal);
    f.s.symbols.sym_extracted_from_dump = c.extracted;
    report_to_file(f);
    EXPECT_EQ(morvik::bad_sym(f.s), 0);
    EXPECT_EQ(summary(f), c.summary);
    EXPECT_EQ(report_body(f), "");
    EXPECT_EQ(f.err.str(), "");
  }
}

TEST(BadSym, ANoMatchWithTheOffsetsTheRightFileWouldHave) {
  // A terminal's rtdsv must hold DS itself: another data selector fails.
  SpotCheck d(DumpVariant::PagedTerminal);
  d.word(0x400, 0x6F);
  d.word(0x3F0, 0x67);
  d.word(0x420, 0x67);
  d.word(0x5FF, 0x67);  // its second byte lies past the window
  SymFixture f(d.b, d.proc);
  prepare(f, d, 0x400, true);
  report_to_file(f);
  morvik::bad_sym(f.s);
  EXPECT_EQ(report_body(f), std::string(kBanner) +
                                "rtdsv=0400, its value=006F, DS=0067\n"
                                "The correct SYM file probably has a value for rtdsv\n  of  03F0 or 0420\n\n");
  EXPECT_EQ(summary(f), std::vector<std::string>{" The SYM file is NOT a good match."});
  EXPECT_EQ(f.err.str(), "\t\t>>>> The SYM file is not a good match <<<<\n\n");

  // Near the segment's start the window starts at offset 0; on the screen
  // nothing goes to the error stream.
  SpotCheck low(DumpVariant::PagedTerminal);
  low.word(0x0000, 0x67);
  low.word(0x02FE, 0x67);
  low.word(0x0300, 0x67);  // past rtdsv + 512
  SymFixture g(low.b, low.proc);
  prepare(g, low, 0x100, true);
  morvik::bad_sym(g.s);
  EXPECT_EQ(g.take(), std::string(kBanner) +
                          "rtdsv=0100, its value=0000, DS=0067\n"
                          "The correct SYM file probably has a value for rtdsv\n  of  0000 or 02FE\n\n");
  EXPECT_EQ(g.err.str(), "");

  // No word equal to DS anywhere near.
  SpotCheck none(DumpVariant::PagedTerminal);
  SymFixture h(none.b, none.proc);
  prepare(h, none, 0x800, true);
  morvik::bad_sym(h.s);
  EXPECT_EQ(h.take(), std::string(kBanner) + "rtdsv=0800, its value=0000, DS=0067\n\n\n");
}

TEST(BadSym, ARtdsvWordNotInTheDumpGivesNoVerdict) {
  // The dump ends before the page that holds rtdsv.
  SpotCheck d(DumpVariant::PagedTerminal);
  d.word(0x400, 0x67);
  SymFixture f(d.b, d.proc);
  prepare(f, d, 0x400, true);
  uint32_t at = morvik::getphysoffset(f.s, uint32_t{d.ds} << 16 | 0x400);
  f.s.dumpfile.close();
  std::filesystem::resize_file(f.dir.file("dump.dat"), at & ~0xFFFu);
  ASSERT_TRUE(f.s.dumpfile.open(f.dir.file("dump.dat")));
  report_to_file(f);
  EXPECT_EQ(morvik::bad_sym(f.s), 0);
  EXPECT_EQ(report_body(f), "\n\tThe word at rtdsv (0067:0400) is not in the dump: the SYM file is not checked.\n");
  EXPECT_EQ(summary(f), std::vector<std::string>{});
  EXPECT_EQ(f.err.str(), "");
}
