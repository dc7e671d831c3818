// Arrays, REAL values and strings read out of a built dump.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "morvik/report/doarray.h"
#include "morvik/report/morvik_string.h"
#include "tests/morvik/fixture.h"

using namespace std::string_literals;
using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

struct Dim {
  int16_t hi;
  int16_t stride;
};

// A process with one 16 KB data segment in a paged terminal dump, and the
// array blocks placed in it.
struct ArrayDump {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t data = b.add_segment(proc, 0x4000, false);

  uint32_t far(uint16_t off) const { return uint32_t{data} << 16 | off; }

  // Writes an array block with P at `off`; `size` defaults to the dimension
  // table and the elements.
  uint32_t array(uint16_t off, uint8_t type, const std::vector<Dim>& dims, const Bytes& elems,
                 std::optional<uint16_t> size = {}, uint32_t arrayOrString = 0) {
    Bytes block = testkit::le16_bytes(size ? *size : static_cast<uint16_t>(6 * dims.size() + elems.size()));
    Bytes ptr = testkit::le32_bytes(arrayOrString ? arrayOrString : far(0x3F00));
    block.insert(block.end(), ptr.begin(), ptr.end());
    block.push_back(type);
    block.push_back(static_cast<unsigned char>(dims.size()));
    block.insert(block.end(), {0, 0});
    for (const Dim& d : dims) {
      for (uint16_t w : {uint16_t{0}, static_cast<uint16_t>(d.hi), static_cast<uint16_t>(d.stride)}) {
        Bytes wb = testkit::le16_bytes(w);
        block.insert(block.end(), wb.begin(), wb.end());
      }
    }
    block.insert(block.end(), elems.begin(), elems.end());
    b.put(proc, far(static_cast<uint16_t>(off - 2)), block);
    return far(off);
  }
  // A BASIC string (length, characters) at `off`.
  uint32_t string(uint16_t off, const std::string& text) {
    Bytes s = testkit::le16_bytes(static_cast<uint16_t>(text.size()));
    s.insert(s.end(), text.begin(), text.end());
    b.put(proc, far(off), s);
    return far(off);
  }
};

Bytes words(std::initializer_list<uint16_t> ws) {
  Bytes out;
  for (uint16_t w : ws) {
    Bytes b = testkit::le16_bytes(w);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

Bytes longs(std::initializer_list<uint32_t> ls) {
  Bytes out;
  for (uint32_t l : ls) {
    Bytes b = testkit::le32_bytes(l);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

std::string sp(size_t n) { return std::string(n, ' '); }

// The session over the built dump, with the process's LDT loaded.
struct Loaded {
  explicit Loaded(ArrayDump& d) : f(d.b) { morvik_test::load_ldt(f, d.b, d.proc); }
  void open_sym() {
    testkit::write_text(f.dir.file("appl.sym"), "x");
    f.s.symfile.open(f.dir.file("appl.sym"));
  }
  void open_cdv() {
    testkit::write_text(f.dir.file("appl.cdv"), "x");
    f.s.cdvfile.open(f.dir.file("appl.cdv"));
  }
  SessionFixture f;
};

}  // namespace

TEST(DoArray, Int2PrintsFirstLastAndNonEmptyElements) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x02, {{3, 2}}, words({5, 0, 0, 7}));
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "X", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 3] 1 dimensional INT2 array  \n"
                           "X[0]" + sp(29) + "\t   5\t     0005H\n"
                           "X[3]" + sp(29) + "\t   7\t     0007H\n");
  l.f.out.str("");
  l.open_sym();
  EXPECT_EQ(morvik::doArray(l.f.s, p, "X", 1, 0), 0);
  EXPECT_EQ(l.f.out.str().substr(0, 41), "[ 3] Probable 1 dimensional INT2 array  \n");
}

TEST(DoArray, TraceArrayPrintsEveryElementWithItsCharacters) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x02, {{3, 2}}, words({0x4241, 0, 0xFFFF, 7}));
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "TS.TRACE", 0, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 3] 1 dimensional INT2 array  \n"
                           "TS.TRACE[0]" + sp(22) + "\t16961\t     4241H  AB\n" +
                               "TS.TRACE[1]" + sp(22) + "\t   0\t     0000H  \0\0\n"s +
                               "TS.TRACE[2]" + sp(22) + "\t  -1\t     FFFFH  \xFF\xFF\n" +
                               "TS.TRACE[3]" + sp(22) + "\t   7\t     0007H  \x07\0\n"s);
}

TEST(DoArray, TwoDimensionsRunTheLastIndexFastest) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x01, {{1, 3}, {2, 1}}, Bytes{1, 2, 3, 4, 0xFE, 6});
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "B", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 1,2] 2 dimensional INT1 array  \n"
                           "B[0,0]" + sp(36) + "  1\t    01H\n" +
                               "B[0,1]" + sp(36) + "  2\t    02H\n" +
                               "B[0,2]" + sp(36) + "  3\t    03H\n" +
                               "B[1,0]" + sp(36) + "  4\t    04H\n" +
                               "B[1,1]" + sp(36) + "-002\t    FEH\n" +
                               "B[1,2]" + sp(36) + "  6\t    06H\n");
}

TEST(DoArray, ThreeDimensionsCarryFromTheLastIndex) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x01, {{1, 4}, {1, 2}, {1, 1}}, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "T", 1, 0), 0);
  std::string out = l.f.out.str();
  EXPECT_EQ(out.substr(0, out.find('\n') + 1), "[ 1,1,1] 3 dimensional INT1 array  \n");
  std::vector<std::string> seen;
  for (size_t at = out.find("T["); at != std::string::npos; at = out.find("T[", at + 1))
    seen.push_back(out.substr(at, out.find(']', at) - at + 1));
  EXPECT_EQ(seen, (std::vector<std::string>{"T[0,0,0]", "T[0,0,1]", "T[0,1,0]", "T[0,1,1]", "T[1,0,0]", "T[1,0,1]",
                                            "T[1,1,0]", "T[1,1,1]"}));
  EXPECT_NE(out.find("T[1,1,1]" + sp(35) + "  8\t    08H\n"), std::string::npos);
}

TEST(DoArray, ElementLimit) {
  struct Case {
    uint16_t limit;
    std::vector<Dim> dims;
    size_t elements;
    size_t lines;
    bool note;
  };
  const Case cases[] = {
      {5, {{9, 4}}, 10, 6, true},          // limit + 1 dimension, then the note
      {5, {{4, 4}}, 5, 5, false},          // exactly the limit: all shown, nothing left out
      {5, {{5, 4}}, 6, 6, false},          // within limit + dimensions: all shown
      {5, {{2, 12}, {2, 4}}, 9, 7, true},  // limit + 2 dimensions
      {1, {{1, 4}}, 2, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elements);
    ArrayDump d;
    Bytes elems;
    for (uint32_t v = 1; v <= c.elements; ++v) {
      Bytes e = testkit::le32_bytes(v);
      elems.insert(elems.end(), e.begin(), e.end());
    }
    uint32_t p = d.array(0x100, 0x04, c.dims, elems);
    Loaded l(d);
    l.f.s.userArrayLimit = c.limit;
    EXPECT_EQ(morvik::doArray(l.f.s, p, "C", 1, 0), 0);
    std::string out = l.f.out.str();
    size_t lines = 0;
    for (size_t at = out.find("\nC["); at != std::string::npos; at = out.find("\nC[", at + 1)) ++lines;
    EXPECT_EQ(lines, c.lines) << out;
    EXPECT_EQ(out.find("\t(additional elements were not printed)\n") != std::string::npos, c.note) << out;
  }
}

TEST(DoArray, LastVisitedElementIsShownEvenWhenEmpty) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x04, {{11, 4}}, longs({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFE, 3}));
  Loaded l(d);
  l.f.s.userArrayLimit = 25;
  EXPECT_EQ(morvik::doArray(l.f.s, p, "C", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[11] 1 dimensional INT4 array  \n"
                           "C[0]" + sp(30) + "         1  00000001H\n" +
                               "C[10]" + sp(29) + "        -2  FFFFFFFEH\n" +
                               "C[11]" + sp(29) + "         3  00000003H\n");
  // With the limit cutting the walk short, the last visited element is shown although it is 0.
  l.f.out.str("");
  l.f.s.userArrayLimit = 3;
  EXPECT_EQ(morvik::doArray(l.f.s, p, "C", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[11] 1 dimensional INT4 array  \n"
                           "C[0]" + sp(30) + "         1  00000001H\n" +
                               "C[3]" + sp(30) + "         0  00000000H\n" +
                               "\t(additional elements were not printed)\n");
}

TEST(DoArray, FourDimensionsPrintOnlyTheHeader) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x04, {{1, 4}, {2, 8}, {3, 24}, {4, 96}}, longs({1, 2, 3}));
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "Q", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 1,2,3,4] 4 dimensional INT4 array  \n");
}

TEST(DoArray, EmptyArrayWithSymOrCdvSourceName) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x02, {{0, 2}}, {});
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "E", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "1 dimensional INT2 array, empty  \n");
  l.f.out.str("");
  l.open_cdv();
  l.f.s.symbols.filelist.resize(2);
  l.f.s.symbols.filelist[1].name = "main.bas";
  EXPECT_EQ(morvik::doArray(l.f.s, p, "E", 1, 1), 0);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "E", 1, 7), 0);  // no such file entry
  EXPECT_EQ(l.f.out.str(), "1 dimensional INT2 array, empty  main.bas\n1 dimensional INT2 array, empty  \n");
  l.f.out.str("");
  l.f.s.cdvfile.close();
  l.open_sym();
  EXPECT_EQ(morvik::doArray(l.f.s, p, "E", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "Probable 1 dimensional INT2 array, empty  \n");
}

TEST(DoArray, RejectedBlocksPrintNothing) {
  ArrayDump d;
  const uint32_t bad_pointer = d.array(0x100, 0x02, {{3, 2}}, words({1, 2, 3, 4}), {}, 0x000F0000);
  const uint32_t size_zero = d.array(0x200, 0x02, {{3, 2}}, words({1, 2, 3, 4}), 0);
  const uint32_t odd_type = d.array(0x300, 0x33, {{3, 2}}, words({1, 2, 3, 4}));
  d.b.put(d.proc, d.far(1), testkit::le32_bytes(d.far(0x3F00)));
  const uint32_t low_offset = d.far(1);
  Loaded l(d);
  for (uint32_t p : {bad_pointer, size_zero, odd_type, low_offset}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(morvik::doArray(l.f.s, p, "R", 1, 0), -1);
  }
  EXPECT_EQ(l.f.out.str(), "");
  // A pointer whose selector is not the process's is no block to reject: its
  // translation ends the run.
  const char* invalid = "Invalid address (getphysoffset):  f0f0100\n";
  EXPECT_EQ(l.f.status_of([&] { morvik::doArray(l.f.s, 0x0F0F0100, "R", 1, 0); }), -1);
  EXPECT_EQ(l.f.err.str(), invalid);
  EXPECT_EQ(l.f.out.str(), invalid);
}

TEST(DoArray, ElementsBeyondTheMemoryReadShowAsZero) {
  ArrayDump d;
  // The block claims more bytes than the segment holds after it.
  uint32_t at_end = d.array(0x3FE0, 0x04, {{7, 4}}, longs({1, 2, 3, 4}), 0x200);
  // Strides that point far outside the block.
  uint32_t wide = d.array(0x100, 0x04, {{2, 0x7000}}, longs({9, 9, 9}));
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, at_end, "C", 1, 0), 0);
  EXPECT_EQ(morvik::doArray(l.f.s, wide, "W", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 7] 1 dimensional INT4 array  \n"
                           "C[0]" + sp(30) + "         1  00000001H\n" +
                               "C[1]" + sp(30) + "         2  00000002H\n" +
                               "C[2]" + sp(30) + "         3  00000003H\n" +
                               "C[3]" + sp(30) + "         4  00000004H\n" +
                               "C[7]" + sp(30) + "         0  00000000H\n" +
                               "[ 2] 1 dimensional INT4 array  \n" +
                               "W[0]" + sp(30) + "         9  00000009H\n" +
                               "W[2]" + sp(30) + "         0  00000000H\n");
}

TEST(DoArray, RealElements) {
  ArrayDump d;
  Bytes elems{0x42, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x12};
  elems.resize(20, 0);
  uint32_t p = d.array(0x100, 0x4A, {{1, 10}}, elems);
  Loaded l(d);
  EXPECT_EQ(morvik::doArray(l.f.s, p, "R", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 1] 1 dimensional REAL array    \n"
                           "R[0]" + sp(21) + "\t12.5000000000000000\n" +
                               "R[1]" + sp(21) + "\t0.0\n");
}

TEST(DoArray, StringElements) {
  ArrayDump d;
  uint32_t ab = d.string(0x800, "AB");
  uint32_t p = d.array(0x100, 0x58, {{2, 4}}, longs({ab, 0, 0}));
  Loaded l(d);
  l.open_sym();
  EXPECT_EQ(morvik::doArray(l.f.s, p, "S$", 1, 0), 0);
  EXPECT_EQ(l.f.out.str(), "[ 2] Probable 1 dimensional STRING array   \n"
                           "S$[0]" + sp(23) + "STR    2: \"AB\"\n" +
                               "S$[2]" + sp(23) + "STR    0: \"\"\n");
  l.f.out.str("");
  l.f.s.symfile.close();
  l.open_cdv();
  l.f.s.symbols.filelist.resize(2);
  l.f.s.symbols.filelist[1].name = "main.bas";
  EXPECT_EQ(morvik::doArray(l.f.s, p, "S$", 1, 1), 0);
  EXPECT_EQ(l.f.out.str(), "[ 2] 1 dimensional STRING array   main.bas\n"
                           "S$[0]" + sp(23) + "STR    2: \"AB\"\t\t\n" +
                               "S$[2]" + sp(23) + "STR    0: \"\"\n");
}

TEST(DoArray, DebugModeShowsElementAddresses) {
  ArrayDump d;
  uint32_t p = d.array(0x100, 0x02, {{1, 2}}, words({5, 6}));
  Loaded l(d);
  l.f.s.debugmode = 1;
  l.f.s.space.ldtptr_shown = true;  // the translation's own debug line goes to standard output
  EXPECT_EQ(morvik::doArray(l.f.s, p, "X", 1, 0), 0);
  std::string sel = vt::format("%04X", d.data);
  EXPECT_EQ(l.f.out.str(), "[ 1] 1 dimensional INT2 array  \n" + sel + ":010E X[0]" + sp(29) +
                               "\t   5\t     0005H\n" + sel + ":0110 X[1]" + sp(29) + "\t   6\t     0006H\n");
}

TEST(ShowReal, DecodesSignExponentAndDigits) {
  struct Case {
    Bytes real;
    const char* text;
  };
  const Case cases[] = {
      {{0x42, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x12}, "12.5000000000000000\n"},
      {{0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50}, "-.500000000000000000\n"},
      {{0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0x25}, ".0250000000000000000\n"},
      {{0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "0.0\n"},
      {{0x53, 0x21, 0, 0, 0, 0, 0, 0, 0, 0x10}, "100000000000000021\n"},  // e = 19: no point
  };
  std::ostringstream out, err;
  std::istringstream in;
  vt::Console con{in, out, err};
  morvik::Session s(con);
  s.outfile.open_screen(out);
  for (const Case& c : cases) {
    out.str("");
    EXPECT_EQ(morvik::showreal(s, c.real.data()), 0);
    EXPECT_EQ(out.str(), c.text);
  }
  EXPECT_STREQ(morvik::type(0x4A), "REAL");
  EXPECT_STREQ(morvik::type(0x58), "STRING");
  EXPECT_STREQ(morvik::type(0x03), "????");
}

TEST(DoString, LengthLimitsAndUnprintableBytes) {
  ArrayDump d;
  uint32_t empty = d.string(0x100, "");
  uint32_t forty = d.string(0x200, std::string(40, 'Z'));
  uint32_t bell = d.string(0x300, "AB\x07");
  uint32_t nine = d.string(0x400, "ABCDEFGHI");
  Loaded l(d);
  morvik::Session& s = l.f.s;
  EXPECT_EQ(morvik::doString(s, empty), 0);
  EXPECT_EQ(morvik::doString(s, nine), 0);
  EXPECT_EQ(morvik::doString(s, 0), 0);
  EXPECT_EQ(l.f.out.str(), "STR    0; \"\" (all hex 00)\t\tSTR    9: \"ABCDEFGHI\"\tNull string\t\t\t");
  l.f.out.str("");
  l.open_sym();
  s.userStringLimit = 10;
  morvik::doString(s, forty);
  morvik::doString(s, bell);
  morvik::doString(s, 0);
  EXPECT_EQ(l.f.out.str(), "STR   40: \"ZZZZZZZZZZ\"\n"
                           "STR    3: \"AB.\"\n\t\t\t       or hex  414207\n"
                           "STR    Null\n");
}

TEST(DoString, StringRunningPastTheSegmentShowsAtMost16Characters) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  int proc = b.add_process();
  uint16_t seg = b.add_segment(proc, 0x10000, false);
  uint32_t at = uint32_t{seg} << 16 | 0xFFE0;
  Bytes s = testkit::le16_bytes(40);
  s.resize(0x20, 'Q');
  b.put(proc, at, s);
  SessionFixture f(b);
  morvik_test::load_ldt(f, b, proc);
  testkit::write_text(f.dir.file("appl.sym"), "x");
  f.s.symfile.open(f.dir.file("appl.sym"));
  EXPECT_EQ(f.status_of([&] { morvik::doString(f.s, at); }), SessionFixture::kReturned);
  EXPECT_EQ(f.out.str(), "STR   40: \"QQQQQQQQQQQQQQQQ\"\n");
}
