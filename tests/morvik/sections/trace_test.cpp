// The application call trace (terminal and big-model forms) and the call
// count report, on traces built into an application's data segment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/sections/formattr.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/readcdv.h"
#include "morvik/symbols/sortsym.h"
#include "testkit/demo.h"
#include "testkit/kernelbuilder.h"
#include "testkit/tracebuilder.h"
#include "tests/morvik/symbols/symbols_fixture.h"

using morvik_test::SymFixture;
using testkit::CallTrace;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::SymFile;
using testkit::slot;

namespace {

constexpr uint32_t kHour9 = 9 * 3600000;  // 09:00:00.000

// An application with two code segments (0x67, 0x6F) and two 64 KB data
// segments: the first (0x77, DS) holds the trace control block at 0x0100,
// the second (0x7F) the trace buffer or the call-count tree from 0.
struct TraceApp {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);
  uint16_t code2 = b.add_segment(proc, 0x1000, true);
  uint16_t data = b.add_segment(proc, 0x10000, false);
  uint16_t data2 = b.add_segment(proc, 0x10000, false);
  uint16_t top = morvik_test::add_top_slot(b, proc);

  uint32_t ds(uint16_t off) const { return uint32_t{data} << 16 | off; }
  uint32_t cs(uint16_t off) const { return uint32_t{code} << 16 | off; }

  // The SYM file: labels in both code segments, the traced variables and
  // the runtime's trace names (`extra` pairs added).
  static SymFile sym(bool timebuffer, bool trint) {
    SymFile f;
    f.labels().code(0).label(0x0100, "MAIN").label(0x0200, "SUB.A").label(0x0300, "SUB.B");
    f.code(0x0100).label(0x0010, "LONELY").label(0x0080, "LONELY.TOO");
    f.variables().data(0).variable(0x0040, "COUNT%").variable(0x0044, "FLAG").variable(0x0048, "BIG");
    f.variable(0x0060, "ct_tree_root").variable(0x0064, "ct_num_entries");
    f.variable(0x0100, "tracesize").variable(0x0102, "traceindex").variable(0x0104, "tracebuffer");
    f.variable(0x010C, "nestlevel");
    if (timebuffer) f.variable(0x0120, "timebuffer");
    if (trint) f.variable(0x0140, "TrIntBuf");
    return f;
  }
  void place(const CallTrace& t, testkit::TraceForm form = testkit::TraceForm::Terminal) {
    testkit::place_trace(b, proc, ds(0x0100), uint32_t{data2} << 16, t, form, ds(0x0140));
  }
};

struct TraceFixture : SymFixture {
  TraceFixture(TraceApp& a, const SymFile& f, int16_t cbrt) : SymFixture(a.b, a.proc) {
    s.DS_selector = a.data;
    s.cbrt = cbrt;
    sym(f);
    morvik::makelist(s);
    morvik::sort_code_segments(s);
    morvik::makeDataList(s);
  }
};

std::string terminal_trace(TraceApp& a, const CallTrace& t, int16_t cbrt, bool timebuffer = true, bool trint = false) {
  a.place(t);
  TraceFixture f(a, TraceApp::sym(timebuffer, trint), cbrt);
  morvik::formatTrace(f.s);
  return f.take();
}

std::string wren_trace(TraceApp& a, const CallTrace& t, int16_t controller_cbrt, bool timebuffer = true) {
  a.place(t, testkit::TraceForm::BigModel);
  TraceFixture f(a, TraceApp::sym(timebuffer, false), 60);
  f.s.runtime.controller_cbrt = controller_cbrt;
  morvik::formatWrenTrace(f.s);
  return f.take();
}

}  // namespace

TEST(CallTrace, TerminalWrapsFromTheSlotAfterTheCurrentOneWithTimeStamps) {
  TraceApp a;
  CallTrace t;
  t.timestamps = true;
  t.firstcaller = a.cs(0x0100);
  t.nestlevel = 3;
  t.traceindex = 8 * 2;  // current slot 2: the walk visits 3, 4, 0, 1
  t.slots = {slot(0x8012, 0x0345, 2, kHour9 + 11000),  // a runtimes entry
             slot(a.code, 0x0105, 3, kHour9 + 11001),
             slot(a.code, 0x0777, 5, kHour9 + 11500),  // the current slot: not listed
             slot(a.code, 0x0100, 1, kHour9, 0x1FF0),
             slot(a.code, 0x0210, 2, kHour9 + 1000)};
  EXPECT_EQ(terminal_trace(a, t, 50),
            "\n\tInteger variables are not being traced.\n"
            "\n SUB Application Call Trace (listed from oldest to newest):\n\n"
            "           Time              Addr     BP  Level   Name\n\n"
            "\n"
            // 1000 ms to the next stamp: 1.000 and a blank line.
            "   1   09:00:00.000 1.000 0067:0100  1ff0   1  MAIN\n\n"
            // 10000 ms: stars, and the blank line too.
            "   2   09:00:01.000 ***** 0067:0210  0000   2   SUB.A + 10\n\n"
            // 1 ms: blanks.
            "   3   09:00:11.000                  0000   2   Runtimes trace: 0345 0012\n"
            "   4   09:00:11.001 0.499 0067:0105  0000   3    MAIN + 5\n"
            " nestlevel is currently at 3 (in the SUB/FUNCTION shown above)\n\n");
}

TEST(CallTrace, TerminalTracedIntegersEmptySlotsAndIndentation) {
  TraceApp a;
  CallTrace t;
  t.firstcaller = a.cs(0x0100);
  t.nestlevel = 3;
  t.traceindex = 8 * 5;  // the current slot is slot N: the walk starts at slot 0
  t.integers = {{a.ds(0x0040), 2}, {a.ds(0x0044), 1}, {a.ds(0x0048), 4}};
  t.slots = {slot(a.code, 0x0100, 2, 0, 0x0102),
             slot(0, 0, 0),  // empty: no line, no line number
             slot(a.code, 0x0200, 30),
             slot(0x8012, 0x0345, 0),  // below the lowest level: at the margin
             slot(a.code, 0x0204, 4),
             slot(a.code, 0x0300, 9)};
  t.slots[0].values = {0x1234, 0x7F, 0xDEADBEEF};
  t.slots[2].values = {1, 2, 3};
  EXPECT_EQ(terminal_trace(a, t, 60, false, true),
            "\n\tThere are 3 integer variables traced:\n"
            "\t0077:0040 COUNT%\n"
            "\t0077:0044 FLAG\n"
            "\t0077:0048 BIG\n"
            "\n SUB Application Call Trace (listed from oldest to newest):\n\n" +
                std::string(17, ' ') + "         Addr  ERR SWI Level  Name\n"
                "COUNT%\n"
                "     FLAG\n"
                "        BIG\n"
                "1234 7F DEADBEEF    1  0067:0100 01 02   2  MAIN\n"
                "0001 02 00000003    2  0067:0200 00 00  30\t\t       SUB.A\n"
                "0000 00 00000000    3            00 00   0 Runtimes trace: 0345 0012\n"
                "0000 00 00000000    4  0067:0204 00 00   4    SUB.A + 4\n"
                " nestlevel is currently at 3 (in the CALLER of the last sub/function shown above)\n\n");
}

TEST(CallTrace, TerminalEndsWithOneLineOnWhatItCannotList) {
  const std::string no_ints = "\n\tInteger variables are not being traced.\n";
  const std::string mismatch =
      no_ints + "\n SUB Application Call Trace:  cannot find the call trace...\n\t\tthe SYM or CDV file may not match.\n";
  struct Case {
    const char* what;
    int16_t cbrt;
    uint16_t entries;
    int32_t traceindex;  // -1: the current slot is slot N (the walk starts at slot 0)
    bool stamps, data_caller;
    uint16_t marker;
    std::string text;  // empty: the trace is listed
  } cases[] = {
      {"old runtimes", 43, 4, -1, true, false, 0,
       "\n SUB Application Call Trace:  These runtimes, version 43, do not support the\n\t\t    application call trace.\n"},
      {"nothing traced yet", 50, 4, 0xFFFF, true, false, 0,
       no_ints + "\n SUB Application Call Trace is empty - the application died at startup\n"},
      {"first caller not in code", 50, 4, -1, true, true, 0, mismatch},
      {"largest with time stamps", 50, 5459, -1, true, false, 0, ""},
      {"too large with time stamps", 50, 5460, -1, true, false, 0,
       no_ints + "\n SUB Application Call Trace:  a trace of 5460 entries is more than the trace buffer can hold.\n"},
      {"time stamps missing: the shorter buffer", 50, 5460, -1, true, false, 0xFFFA, ""},
      {"largest without time stamps", 50, 8189, -1, false, false, 0, ""},
      {"too large without time stamps", 50, 8190, -1, false, false, 0,
       no_ints + "\n SUB Application Call Trace:  a trace of 8190 entries is more than the trace buffer can hold.\n"},
      {"index in slot N", 50, 4, 8 * 4 + 7, true, false, 0, ""},
      {"index past slot N", 50, 4, 8 * 5, true, false, 0,
       no_ints + "\n SUB Application Call Trace:  the trace index 0028 lies outside the trace buffer.\n"},
  };
  for (const Case& c : cases) {
    TraceApp a;
    CallTrace t;
    t.timestamps = c.stamps && c.marker != 0xFFFA;  // the buffer's layout
    t.tracesize = c.entries;
    t.traceindex = static_cast<uint16_t>(c.traceindex < 0 ? 8 * c.entries : c.traceindex);
    t.time_marker = c.marker;
    t.firstcaller = c.data_caller ? a.ds(0) : a.cs(0);
    t.slots = {slot(a.code, 0x0100, 1, kHour9)};
    std::string text = terminal_trace(a, t, c.cbrt, c.stamps);
    if (c.text.empty()) {
      EXPECT_NE(text.find("   1 "), std::string::npos) << c.what;
      EXPECT_NE(text.find(" nestlevel is currently at 0 (in main)\n\n"), std::string::npos) << c.what;
      EXPECT_EQ(text.find("SETTIME") != std::string::npos, c.marker == 0xFFFA) << c.what;
    } else {
      EXPECT_EQ(text, c.text) << c.what;
    }
  }
  // Without "tracesize" in the SYM file the section writes nothing.
  TraceApp a;
  TraceFixture f(a, SymFile().variables().variable(0x0010, "OTHER"), 50);
  morvik::formatTrace(f.s);
  EXPECT_EQ(f.take(), "");
}

TEST(CallTrace, BigModelForm) {
  TraceApp a;
  CallTrace t;
  t.timestamps = true;
  t.firstcaller = a.cs(0x0100);
  t.nestlevel = 0;
  t.traceindex = 8 * 1;
  t.slots = {slot(a.code, 0x0300, 20, kHour9 + 2000, 0x0201), slot(a.code, 0x0999, 9, 0),
             slot(a.code, 0x0100, 1, kHour9, 0x0000)};
  EXPECT_EQ(wren_trace(a, t, 0x27F),
            "\n\n SUB Application Call Trace (listed from oldest to newest):\n\n"
            "####     Time               Addr    ERR SWI Level   Name\n\n"
            "   1   09:00:00.000 2.000 0067:0100  00 00   1    MAIN\n\n"
            "   2   09:00:02.000       0067:0300  02 01  20                    SUB.B\n"
            " nestlevel is currently at 0 (in main)\n\n");

  TraceApp b;
  t.time_marker = 0xFFFA;
  EXPECT_EQ(wren_trace(b, t, 0x27E),
            "\n\n SUB Application Call Trace (listed from oldest to newest):\n\n"
            "NOTE: SETTIME was not run; time stamps are missing!\n\n"
            "####    Addr      BP  Level   Name\n\n"
            "   1  0067:0100  0000   1    MAIN\n"
            "   2  0067:0300  0201  20                    SUB.B\n"
            " nestlevel is currently at 0 (in main)\n\n");
}

TEST(CallTrace, BigModelRefusals) {
  const std::string head = "\n\n SUB Application Call Trace (listed from oldest to newest):\n\n";
  struct Case {
    uint16_t entries, traceindex;
    bool stamps;
    std::string text;  // empty: listed
  } cases[] = {
      {2728, 0, true, ""},
      {2729, 0, true, head + "\t  A trace of 2729 entries is more than the trace buffer can hold.\n"},
      {4093, 0, false, ""},
      {4094, 0, false, head + "\t  A trace of 4094 entries is more than the trace buffer can hold.\n"},
      // No empty-trace mark in this form: the index is outside the buffer.
      {4, 0xFFFF, true, head + "\t  The trace index FFFF lies outside the trace buffer.\n"},
  };
  for (const Case& c : cases) {
    TraceApp a;
    CallTrace t;
    t.timestamps = c.stamps;
    t.tracesize = c.entries;
    t.traceindex = c.traceindex;
    t.firstcaller = a.cs(0);
    t.slots = {slot(a.code, 0x0100, 1, kHour9)};
    std::string text = wren_trace(a, t, 0x27F, c.stamps);
    if (c.text.empty())
      EXPECT_NE(text.find(" nestlevel is currently at 0 (in main)\n\n"), std::string::npos) << c.entries;
    else
      EXPECT_EQ(text, c.text) << c.entries;
  }
  // Shared runtimes below level 635 keep no trace.
  TraceApp a;
  TraceFixture f(a, TraceApp::sym(true, false), 60);
  f.s.shared = 1;
  f.s.runtime.rtlevel = 0x27A;
  f.s.runtime.WrenRTdate = " 03/14/09";
  morvik::formatWrenTrace(f.s);
  EXPECT_EQ(f.take(), head + "  These shared runtimes of 03/14/09 do not support\n\t\t\t      the application call trace.\n");
  f.s.runtime.WrenRTdate.clear();
  morvik::formatWrenTrace(f.s);
  EXPECT_EQ(f.take(), head + "  These shared runtimes do not support the \n\t\t\t      application call trace.\n");
}

TEST(CallTrace, TraceVariableOffsetsAreNotedFromTheSymFile) {
  TraceApp a;
  TraceFixture f(a, TraceApp::sym(true, false), 50);
  morvik::formatTrace(f.s);
  const auto& r = f.s.runtime;
  EXPECT_EQ(r.sym_tracesize, 0x0100);
  EXPECT_EQ(r.sym_traceindex, 0x0102);
  EXPECT_EQ(r.sym_tracebuffer, 0x0104);
  EXPECT_EQ(r.sym_nestlevel, 0x010C);
  EXPECT_EQ(r.sym_timebuffer, 0x0120);
}

namespace {

std::string call_counts(TraceApp& a, const std::vector<testkit::CountNode>& nodes, int16_t cbrt, uint16_t count = 0) {
  const uint32_t tree = uint32_t{a.data2} << 16;
  a.b.put(a.proc, a.ds(0x0060), testkit::le32_bytes(tree));
  a.b.put(a.proc, a.ds(0x0064), testkit::le16_bytes(count ? count : static_cast<uint16_t>(nodes.size())));
  if (!nodes.empty()) a.b.put(a.proc, tree, testkit::call_count_tree(nodes));
  TraceFixture f(a, TraceApp::sym(false, false), cbrt);
  morvik::report_ct_trace(f.s);
  return f.take();
}

const char* const kSymNote =
    "NOTE:  The following list, generated from a SYM file, contains PUBLIC\n"
    "routines from both the application as well as the CBASIC Runtimes.  \n"
    "The SYM file does not indicate whether the routine is from the      \n"
    "application or the Runtimes.  Because there is no tracing mechanism \n"
    "implemented to determine if any Runtimes function was not called,   \n"
    "all PUBLIC Runtimes functions are listed below.  To obtain a more   \n"
    "usable list, please use a CDV file rather that a SYM file.          \n"
    "A CDV file also provides the size of each routine and contains      \n"
    "information that will also add non-public functions to this list.\n\n";

}  // namespace

TEST(CallCount, TreeInAddressOrderAndTheFunctionsNeverCalled) {
  TraceApp a;
  std::vector<testkit::CountNode> nodes = {
      {a.cs(0x0200), 1, 2, 5}, {a.cs(0x0100), 0, 0, 1}, {a.cs(0x0250), 0, 0, 7}};
  EXPECT_EQ(call_counts(a, nodes, 57), "");  // the runtimes count calls from level 58 on
  EXPECT_EQ(call_counts(a, nodes, 58),
            std::string(" There are 3 entries in the CBASIC call count buffer.  They are:\n"
                        "   Count  -address-   Name\n"
                        "       1  0067:0100   MAIN\n"
                        "       5  0067:0200   SUB.A\n"
                        "       7  0067:0250   SUB.A + 50\n"
                        "--------\n      13 total calls.  The maximum search depth is 1\n\n") +
                kSymNote +
                "3 functions were never called during this run:\n"
                "Sequence#  -address-    Size    Name\n"
                "       1   0067:0300           SUB.B\n"
                "       2   006F:0010           LONELY\n"
                "       3   006F:0080           LONELY.TOO\n"
                "\n"
                // SUB.B's segment has called functions: only the other segment is listed, once.
                "\nThe following list of file names shows files in which EVERY function"
                "\nwas NEVER called.  Only the first function in each file is shown.   "
                "\nEach listed file might be a good candidate for removal from your INP file.\n"
                "  006F:0010   LONELY\n");
}

TEST(CallCount, DamagedOrMissingTrees) {
  {
    // A child that leads back to a node passed before ends the listing
    // with one line.
    TraceApp a;
    std::string text =
        call_counts(a, {{a.cs(0x0200), 1, 0, 5}, {a.cs(0x0100), 0, 2, 1}, {a.cs(0x0300), 1, 0, 2}}, 60);
    EXPECT_NE(text.find("       1  0067:0100   MAIN\n"
                        "*** The call count tree is damaged at entry 1; its listing ends here.\n"
                        "--------\n       1 total calls.  "),
              std::string::npos)
        << text;
  }
  {
    TraceApp a;
    std::string text = call_counts(a, {{a.cs(0x0200), 7, 0, 5}}, 60);
    EXPECT_NE(text.find("*** The call count tree is damaged at entry 7;"), std::string::npos) << text;
  }
  {
    // A tree built from calls in address order is one long chain.
    TraceApp a;
    std::vector<testkit::CountNode> chain;
    for (uint16_t i = 0; i < 5000; ++i) chain.push_back({a.cs(0x0100), static_cast<uint16_t>(i + 1 < 5000 ? i + 1 : 0), 0, 1});
    std::string text = call_counts(a, chain, 60);
    EXPECT_NE(text.find("    5000 total calls.  The maximum search depth is 4999\n"), std::string::npos);
  }
  {
    TraceApp a;
    EXPECT_EQ(call_counts(a, {}, 60, 0), " The CBASIC call count (ct_tree_root) is not available.\n\n");
  }
}

TEST(CallTrace, TheDemoApplicationsTrace) {
  for (DumpVariant v : {DumpVariant::PagedTerminal, DumpVariant::PagedController}) {
    testkit::DemoSpec cfg;
    cfg.variant = v;
    DumpBuilder b(v);
    testkit::KernelBuilder k(b);
    testkit::DemoDump d = testkit::build_demo(b, k, cfg);
    SymFixture f(b, d.appl_proc);
    f.s.DS_selector = d.data;
    f.s.cbrt = 60;
    f.s.runtime.controller_cbrt = 0x280;
    f.sym(testkit::demo_sym());
    morvik::makelist(f.s);
    morvik::sort_code_segments(f.s);
    morvik::makeDataList(f.s);
    const bool term = v == DumpVariant::PagedTerminal;
    if (term)
      morvik::formatTrace(f.s);
    else
      morvik::formatWrenTrace(f.s);
    const std::string text = f.take();
    SCOPED_TRACE(text);
    EXPECT_EQ(text.find("There are 2 integer variables traced:") != std::string::npos, term);
    // 32 calls, oldest first, from the slot after the current one.
    EXPECT_NE(text.find("   1   14:31:50.000 0.035 0067:0012"), std::string::npos);
    EXPECT_NE(text.find("  32   14:31:55.990      "), std::string::npos);
    EXPECT_EQ(text.find("  33   "), std::string::npos);
    EXPECT_NE(text.find(" PROCESS.SALE + 8\n"), std::string::npos);
    EXPECT_NE(text.find(" nestlevel is currently at 2 (in the CALLER of the last sub/function shown above)\n"),
              std::string::npos);
    morvik::report_ct_trace(f.s);
    EXPECT_NE(f.take().find(" There are 3 entries in the CBASIC call count buffer.  They are:\n"
                            "   Count  -address-   Name\n"
                            "       1  0067:0000   MAIN.PROGRAM\n"),
              std::string::npos);
  }
}

TEST(CallTrace, WithACdvFile) {
  auto cdv = [](TraceApp& a, bool trace_names) {
    testkit::CdvFile c;
    c.module(1, a.code, 0, 0x1000, "MAIN.BAS");
    std::vector<testkit::Bytes> records = {testkit::cdv_procedure(0x0100, 0x201, 0x0080, "MAINPROC"),
                                           testkit::cdv_procedure(0x0300, 0x201, 0x0010, "TINY"),
                                           testkit::cdv_procedure(0x0400, 0x201, 0x0100, "BIG"),
                                           testkit::cdv_static(a.ds(0x0060), 0x84, "ct_tree_root"),
                                           testkit::cdv_static(a.ds(0x0064), 0x84, "ct_num_entries")};
    if (trace_names) {
      records.push_back(testkit::cdv_static(a.ds(0x0100), 0x84, "tracesize"));
      records.push_back(testkit::cdv_static(a.ds(0x0120), 0x84, "timebuffer"));
    }
    c.symbols(1, records);
    return c;
  };
  {
    TraceApp a;
    CallTrace t;
    t.timestamps = true;
    t.firstcaller = a.cs(0x0100);
    t.traceindex = 8 * 1;
    t.slots = {slot(a.code, 0x0104, 1, kHour9 + 5), slot(0, 0, 0), slot(a.code, 0x0100, 1, kHour9)};
    a.place(t);
    a.b.put(a.proc, a.ds(0x0060), testkit::le32_bytes(uint32_t{a.data2} << 16 | 0x8000));
    a.b.put(a.proc, a.ds(0x0064), testkit::le16_bytes(1));
    a.b.put(a.proc, uint32_t{a.data2} << 16 | 0x8000, testkit::call_count_tree({{a.cs(0x0100), 0, 0, 4}}));
    SymFixture f(a.b, a.proc);
    f.s.DS_selector = a.data;
    f.s.cbrt = 60;
    f.cdv(cdv(a, true));
    morvik::readcdv(f.s);
    morvik::formatTrace(f.s);
    std::string text = f.take();
    EXPECT_NE(text.find("   1   09:00:00.000 0.005 0067:0100 00 00   1 "), std::string::npos) << text;
    EXPECT_NE(text.find("   2   09:00:00.005       0067:0104 00 00   1 "), std::string::npos) << text;
    // The procedures' sizes mark the large ones among those never called.
    morvik::report_ct_trace(f.s);
    text = f.take();
    EXPECT_NE(text.find("2 functions were never called during this run:\n"
                        "Sequence#  -address-    Size    Name\n"
                        "       1   0067:0300    0010   TINY"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("       2   0067:0400  >>0100<< BIG"), std::string::npos) << text;
    EXPECT_NE(text.find("The largest size (above) is 0100\n\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("NOTE:"), std::string::npos);
  }
  for (bool term : {true, false}) {
    // Without "tracesize" in the CDV file there is no control block to read.
    TraceApp a;
    SymFixture f(a.b, a.proc);
    f.s.DS_selector = a.data;
    f.s.cbrt = 60;
    f.cdv(cdv(a, false));
    morvik::readcdv(f.s);
    if (term)
      morvik::formatTrace(f.s);
    else
      morvik::formatWrenTrace(f.s);
    EXPECT_NE(f.take().find("\n\t  Cannot find symbols for the Application Call Trace in the CDV file.\n"),
              std::string::npos);
  }
}
