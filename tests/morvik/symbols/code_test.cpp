// Code symbols: the SYM file's labels, the code segments in code-image
// order, the naming of code addresses, far calls before return addresses,
// the runtime vector names and the debug listings.
#include <gtest/gtest.h>

#include "common/console.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/trvect.h"
#include "tests/morvik/symbols/symbols_fixture.h"

using morvik_test::SymFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::SymFile;

namespace {

struct Label {
  uint32_t offset;
  std::string name;
  bool operator==(const Label&) const = default;
};

std::vector<Label> labels(const std::vector<morvik::symNode>& list) {
  std::vector<Label> v;
  for (const auto& n : list) v.push_back({n.offset, n.name});
  return v;
}

struct Seg {
  uint16_t selector;
  uint32_t offset_in_appl;
  uint32_t segsize;
  bool operator==(const Seg&) const = default;
};

std::vector<Seg> segments(const morvik::Session& s) {
  std::vector<Seg> v;
  for (const auto& c : s.symbols.clisthead) v.push_back({c.selector, c.offset_in_appl, c.segsize});
  return v;
}

// findname's text for one address.
std::string name_of(SymFixture& f, uint32_t addr) {
  f.take();
  morvik::findname(f.s, addr, 1);
  return f.take();
}

}  // namespace

TEST(CodeLabels, OrderParagraphsAndSections) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  SymFixture f(b, p);
  SymFile sym;
  sym.labels().code(0x0010).label(0x0020, "SECOND").label(0x0000, "FIRST").label(0x0020, "SAME.PLACE");
  sym.code(0x0020).label(0x0004, "A.VERY.LONG.LABEL.NAME");
  sym.variables().data(0).variable(0x0002, "NOT.A.LABEL");
  sym.labels().label(0x0008, "LATE");  // labels again, under the last CODE entry
  f.sym(sym);
  morvik::makelist(f.s);
  EXPECT_EQ(labels(f.s.symbols.CodeHead), (std::vector<Label>{{0x0100, "FIRST"},
                                                               {0x0120, "SECOND"},
                                                               {0x0120, "SAME.PLACE"},  // equal offsets in file order
                                                               {0x0204, "A.VERY.LONG.LAB"},
                                                               {0x0208, "LATE"}}));
  EXPECT_EQ(f.s.symbols.code_paragraphs, (std::vector<uint32_t>{0x10, 0x20}));
  EXPECT_TRUE(f.s.symbols.VectHead.empty());

  // Beyond the 1,000th CODE entry the paragraphs stop growing, the labels
  // do not.
  SymFile many;
  many.labels();
  for (uint32_t i = 1; i <= 1001; ++i) many.code(i);
  many.label(0x0005, "AFTER.MANY");
  f.sym(many);
  morvik::makelist(f.s);
  EXPECT_EQ(f.s.symbols.code_paragraphs.size(), 1000u);
  EXPECT_EQ(f.s.symbols.code_paragraphs.back(), 1000u);
  EXPECT_EQ(labels(f.s.symbols.CodeHead), (std::vector<Label>{{1001 * 16 + 5, "AFTER.MANY"}}));
}

TEST(CodeLabels, SharedRuntimeBlock) {
  SymFile sym;
  sym.labels().code(0).label(0x0010, "MAIN");
  sym.shared_runtime(0x0003, {{0x0007, "cb_extra"}, {0x0009, "CODE"}}, 0x000F);
  sym.label(0x0020, "BEHIND");
  DumpBuilder b(DumpVariant::PagedController);
  int p = b.add_process();
  SymFixture f(b, p);
  f.sym(sym);
  // Linked with the shared runtime: the block names the string vector and
  // its end ends the labels.
  f.s.shared = 1;
  morvik::makelist(f.s);
  EXPECT_EQ(labels(f.s.symbols.CodeHead), (std::vector<Label>{{0x10, "MAIN"}}));
  EXPECT_EQ(labels(f.s.symbols.VectHead), (std::vector<Label>{{0x03, "_inc1_s32"}, {0x07, "cb_extra"}}));
  // Otherwise they are labels like any other.
  f.s.shared = 0;
  morvik::makelist(f.s);
  EXPECT_EQ(labels(f.s.symbols.CodeHead), (std::vector<Label>{{0x03, "_inc1_s32"},
                                                               {0x07, "cb_extra"},
                                                               {0x10, "MAIN"},
                                                               {0x9F, "_retpop10"},  // after "0009 CODE"
                                                               {0xB0, "BEHIND"}}));
  EXPECT_TRUE(f.s.symbols.VectHead.empty());
}

TEST(CodeSegments, PagedBySameLinearPageThenPhysicalBase) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  b.add_segment_at(p, 0x00401800, 0x0800, true);  // 0x67: the upper half of the page
  b.add_segment_at(p, 0x00401000, 0x0800, true);  // 0x6F: its lower half
  b.add_segment_at(p, 0x00400000, 0x1000, true);  // 0x77: the page before
  morvik_test::add_top_slot(b, p);
  SymFixture f(b, p);
  morvik::sort_code_segments(f.s);
  EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x77, 0x0000, 0x1000}, {0x6F, 0x1000, 0x0800}, {0x67, 0x1800, 0x0800}}));
  EXPECT_EQ(f.s.symbols.strvect_selector, 0);
  EXPECT_EQ(f.s.symbols.trvect_selector, 0);
  EXPECT_EQ(morvik::get_offset_in_appl(f.s, 0x006F0010), 0x1010u);
  EXPECT_EQ(morvik::get_offset_in_appl(f.s, 0x00990010), 0u);
  EXPECT_EQ(morvik::getCodeAddress(f.s, 0x1810), 0x00670010u);
}

TEST(CodeSegments, UnpagedOffsetsFromBasesAndLimits) {
  struct Case {
    DumpVariant v;
    std::vector<Seg> expect;
  } cases[] = {
      // A segment at the base of the one before it: an EL dump gives it
      // that segment's offset, a MARRA dump the offset past its limit.
      {DumpVariant::ELTerminal,
       {{0x67, 0x0000, 0x1000}, {0x6F, 0x1000, 0x0400}, {0x77, 0x1000, 0x0400}, {0x7F, 0x1400, 0x0400}}},
      {DumpVariant::MarraTerminal,
       {{0x67, 0x0000, 0x1000}, {0x6F, 0x1000, 0x1400}, {0x77, 0x2000, 0x0400}, {0x7F, 0x2400, 0x0400}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.v));
    DumpBuilder b(c.v);
    int p = b.add_process();
    uint32_t at = b.el() ? 0x00400000 : 0x00300000;
    b.add_segment_at(p, at, 0x1000, true);
    b.add_segment_at(p, at + 0x1000, 0x1000, true);
    b.add_segment_at(p, at + 0x1000, 0x0800, true);  // the same base
    b.add_segment_at(p, at + 0x1400, 0x0400, true);  // inside the segment before
    morvik_test::add_top_slot(b, p);
    SymFixture f(b, p);
    f.s.CS_selector = 0x7F;
    morvik::sort_code_segments(f.s);
    EXPECT_EQ(segments(f.s), c.expect);
    EXPECT_EQ(f.s.CS_selector, 0x67);  // the first segment's
    // The nearest segment below an offset; an exact start is taken at once.
    EXPECT_EQ(morvik::getCodeAddress(f.s, 0x0010), 0x00670010u);
    EXPECT_EQ(morvik::getCodeAddress(f.s, 0x1000), 0x006F0000u);
    EXPECT_EQ(morvik::getCodeAddress(f.s, 0x20000), 0u);  // more than 64 KB into the nearest
  }
}

TEST(CodeSegments, MarraCodeChunksComeInChunkOrder) {
  DumpBuilder b(DumpVariant::MarraTerminal);
  int p = b.add_process();
  b.add_segment_at(p, 0x00300000, 0x1000, true);  // 0x67
  b.add_segment_at(p, 0x00301000, 0x0800, true);  // 0x6F
  b.add_segment_at(p, 0x00301400, 0x0400, true);  // 0x77
  morvik_test::add_top_slot(b, p);
  SymFixture f(b, p);
  f.s.numchunks = 2;
  f.s.code_block_286 = {0x6F, 0x67, 0, 0, 0, 0};
  morvik::sort_code_segments(f.s);
  // Chunk 0 starts at 0x6F and takes 0x77 with it; chunk 1 is 0x67.
  EXPECT_EQ(segments(f.s), (std::vector<Seg>{{0x6F, 0x0000, 0x0400}, {0x77, 0x0400, 0x0400}, {0x67, 0x0800, 0x1000}}));
  EXPECT_EQ(f.s.symbols.clisthead[1].chunk, 0);
  EXPECT_EQ(f.s.symbols.clisthead[2].chunk, 1);
}

namespace {

// Two code segments of 4 KB in a paged dump; labels A and B in the first,
// C in the second.
struct TwoSegments {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t first = b.add_segment(proc, 0x1000, true);   // 0x67 at 0
  uint16_t second = b.add_segment(proc, 0x1000, true);  // 0x6F at 0x1000
  uint16_t top = morvik_test::add_top_slot(b, proc);
};

void load(SymFixture& f, const SymFile& sym) {
  f.sym(sym);
  morvik::makelist(f.s);
  morvik::sort_code_segments(f.s);
}

}  // namespace

TEST(FindName, LabelAndDistance) {
  TwoSegments d;
  SymFixture f(d.b, d.proc);
  load(f, SymFile().labels().code(0).label(0x0100, "A").label(0x0180, "B"));
  struct Case {
    uint32_t off;
    int16_t cbrt;
    const char* text;
  } cases[] = {
      {0x120, 60, " A + 20"},
      {0x17D, 60, " A + 7d"},
      {0x17D, 41, " B + fffd"},  // older runtimes: labels up to 5 bytes ahead
      {0x17B, 41, " B"},         // 5 bytes before it: the call to it
      {0x180, 60, " B"},
      {0x100, 41, " A"},
      {0x200, 54, " B + 80"},
      {0x050, 60, " appl + 50"},  // before the first label: that alone
  };
  for (const auto& c : cases) {
    f.s.cbrt = c.cbrt;
    EXPECT_EQ(name_of(f, 0x00670000 | c.off), c.text) << std::hex << c.off << " " << std::dec << c.cbrt;
  }
  EXPECT_EQ(name_of(f, 0x00770010), "");  // no listed segment has the selector
  // Vector selectors that were not found name nothing.
  EXPECT_EQ(name_of(f, 0x00000000), "");
  EXPECT_EQ(name_of(f, 0x00000045), "");
}

TEST(FindName, ALabelOfAnEarlierSegmentNamesTheNextOne) {
  TwoSegments d;
  SymFixture f(d.b, d.proc);
  load(f, SymFile().labels().code(0).label(0x0000, "A").code(0x0100).label(0x0100, "C"));
  f.s.cbrt = 60;
  EXPECT_EQ(name_of(f, 0x006F0050), " C-b0");  // A is the first segment's
  EXPECT_EQ(name_of(f, 0x006F0100), " C");
  EXPECT_EQ(name_of(f, 0x006F0180), " C + 80");
  // A label at its own segment's first byte belongs to that segment.
  EXPECT_EQ(name_of(f, 0x00670010), " A + 10");
}

TEST(FindName, RuntimeVectors) {
  // Linked with the shared runtime: the last code segment (in page
  // directory index 1) is the string vector; a controller BASIC
  // application's code selector is the transfer vector.
  TwoSegments d;
  SymFixture f(d.b, d.proc);
  f.s.shared = 1;
  f.s.BASIC = 1;
  f.s.space.termappl = 0;
  f.s.CS_selector = d.first;
  load(f, SymFile().labels().code(0).label(0x0010, "MAIN").shared_runtime(0x0003, {{0x0007, "cb_extra"}}, 0x000F));
  EXPECT_EQ(f.s.symbols.strvect_selector, d.second);
  EXPECT_EQ(f.s.symbols.trvect_selector, d.first);
  f.s.cbrt = 60;
  struct Case {
    uint32_t addr;
    const char* text;
  } cases[] = {
      {0x00670000 | 2359, " OMKFNUM"},     // a transfer-vector entry
      {0x00670000 | 70, " MAIN + 36"},     // not an entry: the labels name it
      {0x006F0000, " _cb.init"},           // a string-vector entry
      {0x006F0007, " cb_extra"},           // the shared runtime's label
      {0x006F0003, " _inc1_s32"},
      {0x006F0009, " can't find it!"},
  };
  for (const auto& c : cases) EXPECT_EQ(name_of(f, c.addr), c.text) << std::hex << c.addr;

  // Without labels only the vectors are named.
  f.sym(SymFile().variables().variable(0x10, "X"));
  morvik::makelist(f.s);
  EXPECT_EQ(name_of(f, 0x006F0000), " _cb.init");
  EXPECT_EQ(name_of(f, 0x006F0009), "");
  EXPECT_EQ(name_of(f, 0x00670100), "");
}

TEST(TrVect, EntryNames) {
  struct Case {
    bool transfer;
    uint32_t offset;
    const char* name;  // null: no entry
  } cases[] = {
      {true, 2359, "OMKFNUM"},  {true, 69, "_cb_fkey"},    {true, 70, nullptr},       {true, 1756, "         "},
      {true, 1774, "_cb_ui1 "}, {true, 2360, nullptr},     {false, 0, "_cb.init"},    {false, 5, "cb_fkey"},
      {false, 1754, "cb_stop2"}, {false, 1480, "_inc1_s32"}, {false, 1, nullptr},      {false, 70, nullptr},
  };
  for (const auto& c : cases) {
    const char* got = c.transfer ? morvik::rtname(c.offset) : morvik::strvectName(c.offset);
    if (!c.name)
      EXPECT_EQ(got, nullptr) << c.offset;
    else
      EXPECT_STREQ(got, c.name) << c.offset;
  }
}

TEST(CalledAddr, FarCallBeforeAReturnAddress) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  uint16_t code = b.add_segment(p, 0x1000, true);   // 0x67
  uint16_t data = b.add_segment(p, 0x1000, false);  // 0x6F
  morvik_test::add_top_slot(b, p);
  uint16_t gcode = b.add_gdt_segment(0x80200000, 0x0FFF, true, 3);
  b.put(p, uint32_t{code} << 16 | 0x100, {0x9A, 0x34, 0x12, 0x67, 0x00});
  b.put(p, uint32_t{code} << 16 | 0x200, {0x9A, 0x00, 0x00, 0x6F, 0x00});  // into data
  b.put(p, uint32_t{code} << 16 | 0x000, {0x9A, 0x00, 0x00, 0x67, 0x00});
  SymFixture f(b, p);
  f.s.dumpfile.seek(1234);
  struct Case {
    uint32_t addr, target;
  } cases[] = {
      {0x00670105, 0x00671234},
      {0x00670106, 0},
      {0x00670205, 0},  // the target is not code of the same kind
      {0x00670005, 0x00670000},
      {0x00670004, 0},  // no room for a call before it
      {0x00671001, 0},  // past the segment
      {uint32_t{data} << 16 | 0x105, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(morvik::calledaddr(f.s, c.addr), c.target) << std::hex << c.addr;
  EXPECT_EQ(f.s.dumpfile.tell(), 1234u);
  EXPECT_EQ(f.take(), "");

  EXPECT_EQ(morvik::isSRTLaddr(f.s, uint32_t{gcode} << 16 | 0x0FFE), 1);
  EXPECT_EQ(morvik::isSRTLaddr(f.s, uint32_t{gcode} << 16 | 0x0FFF), 0);
  EXPECT_EQ(morvik::isSRTLaddr(f.s, 0x00670010), 0);
}

TEST(CodeDebug, SortedSegmentsAndTheDataSegment) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int p = b.add_process();
  uint16_t code = b.add_segment(p, 0x1000, true);  // 0x67
  uint16_t data = b.add_segment(p, 0x50, false);   // 0x6F
  morvik_test::add_top_slot(b, p);
  std::string letters = "ABCDEFGHIJKLMNOP";
  b.put(p, uint32_t{data} << 16 | 0x30, Bytes(letters.begin(), letters.end()));
  SymFixture f(b, p);
  f.sym(SymFile().labels().code(0x0001).label(0, "MAIN"));
  morvik::makelist(f.s);
  f.s.debugmode = 1;
  f.s.space.ldtptr_shown = true;  // the translation's own debug line
  f.s.DS_selector = data;
  morvik::sort_code_segments(f.s);
  uint32_t base = b.process_dump_offset(p, uint32_t{code} << 16);
  EXPECT_EQ(f.take(), vt::format("Sorted code segments:\n"
                                 "  sel  base  limit pageDir pageTab ApplParagraph\n"
                                 "   67 %lX  FFF   1        0      00000 ** ERROR ** SYM file might not match!\n",
                                 static_cast<unsigned long>(base)) +
                          "\nTotal code size is 001000 (hex), 4096 (decimal)\n"
                          "DS Selector = 006F (hex), limit = 004F (hex). 65441 (decimal) bytes remain unused.\n"
                          "Code is at 0.1% of 2 MB, and data is at 0.1% of 64 KB.\n\n"
                          "The contents of the Data Segment is:\n"
                          "006F:0000  00000000 00000000 00000000 00000000  *................*\n"
                          "                (2 lines same as above)\n"
                          "006F:0030  41424344 45464748 494A4B4C 4D4E4F50  *ABCDEFGHIJKLMNOP*\n"
                          "006F:0040  00000000 00000000 00000000 00000000  *................*\n");
}

TEST(CodeDebug, PrologsOfTheLabels) {
  TwoSegments d;
  auto code = [&](uint16_t sel, uint16_t at, uint8_t first) { d.b.put(d.proc, uint32_t{sel} << 16 | at, {first}); };
  d.b.put(d.proc, uint32_t{d.first} << 16, {0x55, 0x8B, 0xEC});
  code(d.first, 0x10, 0x1E);
  code(d.first, 0x20, 0x90);
  code(d.first, 0x30, 0x90);
  code(d.first, 0x40, 0x90);
  code(d.first, 0x50, 0xE8);
  code(d.second, 0x00, 0xC8);
  SymFixture f(d.b, d.proc);
  SymFile sym;
  sym.labels().code(0).label(0x00, "MAIN").label(0x10, "PUSHER").label(0x20, "BADSTART").label(0x30, "OMKLIB");
  sym.label(0x40, "lower").label(0x50, "CALLER").label(0x1000, "SECOND");
  load(f, sym);
  morvik::show_function_prolog_code(f.s);
  EXPECT_EQ(f.take(),
            "\n\nCode Symbols in the Application are:\n -offset- -protect-  name------------  Code Bytes------\n"
            "\n"
            " 00000000 0067:0000  MAIN              558BEC0000000000  push bp\n"
            " 00000010 0067:0010  PUSHER            1E00000000000000  push ds\n"
            " 00000020 0067:0020  BADSTART          9000000000000000    **WARNING** Unrecognized Opcode\n"
            " 00000030 0067:0030  OMKLIB            9000000000000000\n"
            " 00000040 0067:0040  lower             9000000000000000\n"
            " 00000050 0067:0050  CALLER            E800000000000000  call\n"
            "\n"
            " 00001000 006F:0000  SECOND            C800000000000000  enter\n");
}
