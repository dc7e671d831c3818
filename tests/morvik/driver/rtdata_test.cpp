// The terminal runtime's data: the marker scans, the error ring in both
// entry forms, the sessions, the registers and the saved error data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "morvik/driver/morvik_rtdata.h"
#include "morvik/report/doarray.h"
#include "testkit/runtimebuilder.h"
#include "tests/morvik/driver/demo_run.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::RingError;
using testkit::RuntimeSession;
using testkit::TerminalRuntimeSpec;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string crlf(const std::string& t) {
  std::string r;
  for (char c : t) r += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return r;
}

// A terminal application with a code and a data segment; `cfg` is placed
// in its data segment, then `change` may damage it.
struct Runtime {
  explicit Runtime(const TerminalRuntimeSpec& cfg, const std::function<void(DumpBuilder&, int, uint16_t)>& change = {})
      : b(DumpVariant::PagedTerminal) {
    proc = b.add_process();
    code = b.add_segment(proc, 0x2000, true);
    data = b.add_segment(proc, 0x4000, false);
    testkit::add_terminal_runtime(b, proc, data, cfg);
    if (change) change(b, proc, data);
    f = std::make_unique<SessionFixture>(b);
    morvik_test::load_ldt(*f, b, proc);
    f->s.DS_selector = data;
    f->s.space.termappl = 1;
    f->s.BASIC = 1;
    f->s.cbrt = static_cast<int16_t>(cfg.level);
    f->s.MAXFN = cfg.level > 47 ? 104 : 99;
    f->out.str("");
  }
  // Runs the report; the status of a run end, or kReturned.
  int run() {
    return f->status_of([&] { morvik::runtime_data_report(f->s); });
  }
  std::string out() const { return f->out.str(); }

  DumpBuilder b;
  int proc = 0;
  uint16_t code = 0, data = 0;
  std::unique_ptr<SessionFixture> f;
};

RingError err(const char* code, uint32_t errnum, uint8_t session = 0) {
  RingError e;
  e.code = code;
  e.errnum = errnum;
  e.session = session;
  e.msec = (10u * 3600 + 20 * 60 + 30) * 1000 + 5;
  return e;
}

}  // namespace

TEST(RuntimeData, EachMissingMarkerEndsTheRunWithItsMessage) {
  struct Case {
    const char* what;
    std::function<void(DumpBuilder&, int, uint16_t)> damage;
    const char* end;
  } cases[] = {
      {"no error history marker", [](DumpBuilder& b, int p, uint16_t d) { b.put(p, uint32_t{d} << 16 | 0x0105, {'='}); },
       "\n\tCan't find net== ... this is probably not a BASIC application.\n"},
      {"no *errs* at the marker or 2 bytes before",
       [](DumpBuilder& b, int p, uint16_t d) { b.put(p, uint32_t{d} << 16 | 0x0106, {0, 0, 0, 0, 0, 0, 0, 0}); },
       "can't find \"*errs*\"\n\n\n"},
      {"no CRTDATA", [](DumpBuilder& b, int p, uint16_t d) { b.put(p, uint32_t{d} << 16 | 0x0400, {'C', 'R', 'T', 'D', 'A', 'T', 'X'}); },
       "can't find CRTDATA (p1)\n"},
      // One of the 101 pointers after the text has a selector byte that is
      // neither null nor an LDT selector: the text is not the record.
      {"CRTDATA whose pointers are not pointers",
       [](DumpBuilder& b, int p, uint16_t d) { b.put(p, uint32_t{d} << 16 | (0x0400 + 16 + 4 * 7 + 2), {0x12}); },
       "can't find CRTDATA (p1)\n"},
      {"no RTDATA past CRTDATA", [](DumpBuilder& b, int p, uint16_t d) { b.put(p, uint32_t{d} << 16 | 0x0A00, {'R', 'T', 'D', 'A', 'T', 'A', 'X'}); },
       "can't find RTDATA (p2)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Runtime r(TerminalRuntimeSpec{}, c.damage);
    EXPECT_EQ(r.run(), 0);
    const std::string out = r.out();
    ASSERT_GE(out.size(), std::strlen(c.end));
    EXPECT_EQ(out.substr(out.size() - std::strlen(c.end)), c.end);
  }
  // The history may start 2 bytes before the place after the marker:
  // "*errs*" right after it.
  Runtime early(TerminalRuntimeSpec{}, [](DumpBuilder& b, int p, uint16_t d) {
    b.put(p, uint32_t{d} << 16 | 0x0100, {'x'});
    b.put(p, uint32_t{d} << 16 | 0x0102, {'n', 'e', 't', '=', '=', '>'});
  });
  EXPECT_EQ(early.run(), SessionFixture::kReturned);
}

TEST(RuntimeData, TheErrorRingInBothEntryForms) {
  struct Case {
    const char* what;
    int level;
    int next;
    bool wrapped;
    std::string list;
  } cases[] = {
      {"level 41, three errors", 41, 3, false,
       "\n\t The last 3 errors recorded by the runtimes:\n\n"
       "\t    OE 00000052   03-14  14:32\t\t    \n"
       "\t    IH 0F000180   03-14  14:32   session    2\n"
       "\t    *I 000000A0   03-14  14:32   session    5\n"},
      // From level 50 on: the time stamp and the repeat count.
      {"level 64, three errors", 64, 3, false,
       "\n\t The last 3 errors recorded by the runtimes:\n\n"
       "\t    OE 00000052   03-14  10:20:30.005\t\t       repeated 4 times\n"
       "\t    IH 0F000180   03-14  10:20:30.005   session    2   repeated once\n"
       "\t    *I 000000A0   03-14  10:20:30.005   session    5\n"},
      // A wrapped ring lists the slots after the next one first; the
      // internal entry (0x40) is listed there, not in the second pass.
      {"level 64, wrapped", 64, 3, true,
       "\n\t The last 15 errors recorded by the runtimes:\n\n"
       "\t    @X 01000000   03-14  10:20:30.005\t\t    \n"
       "\t    @X 01000000   03-14  10:20:30.005\t\t    \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalRuntimeSpec sp;
    sp.level = c.level;
    sp.next = static_cast<int16_t>(c.next);
    sp.ring[0] = err("OE", 0x52000000u);
    sp.ring[0].repeat = 4;
    sp.ring[0].session = 9;  // an errnum that never names its session
    sp.ring[1] = err("IH", 0x8001000Fu, 2);
    sp.ring[1].repeat = 1;
    sp.ring[2] = err("*I", 0xA0000000u, 5);
    if (c.wrapped) {
      sp.ring[1].code = "@X";
      sp.ring[4] = err("@X", 1);
      sp.ring[5] = err("@X", 1);
    }
    Runtime r(sp);
    EXPECT_EQ(r.run(), SessionFixture::kReturned);
    const std::string out = r.out();
    if (c.wrapped) {
      EXPECT_TRUE(has(out, c.list + "\t    OE 00000052")) << out;
      EXPECT_FALSE(has(out, "\t    @X 0F000180")) << out;
    } else {
      EXPECT_TRUE(has(out, c.list)) << out;
    }
  }
}

TEST(RuntimeData, AnErrorRingIndexOutsideTheRingIsDamageAndTheReportGoesOn) {
  for (int16_t next : {-1, 16, 300}) {
    SCOPED_TRACE(next);
    TerminalRuntimeSpec sp;
    sp.next = next;
    sp.ring[0] = err("OE", 1);
    sp.arnnet = 1;
    Runtime r(sp);
    EXPECT_EQ(r.run(), SessionFixture::kReturned);
    EXPECT_TRUE(has(r.out(), "\n\t*** The error ring's next-slot index " + std::to_string(next) +
                                 " lies outside 0-15: the ring is not listed.\n\n\t There is 1 un-resumed error\n"))
        << r.out();
    EXPECT_FALSE(has(r.out(), "errors recorded by the runtimes"));
    EXPECT_TRUE(has(r.out(), "\t Open sessions"));
  }
}

TEST(RuntimeData, UnresumedCountsAndTheSummaryLines) {
  struct Case {
    int16_t arnnet;
    int16_t next;
    const char* out;
    std::vector<std::string> summary;
  } cases[] = {
      {0, 0, "\n\t The last 0 errors recorded by the runtimes:\n\n", {" has recorded no runtime errors yet."}},
      {1, 1, "\n\t There is 1 un-resumed error\n", {"'s last error was OE 01000000 on session  7.", "    There is 1 un-resumed error."}},
      {-2, 1, "\n\t There are -2 un-resumed errors\n",
       {"'s last error was OE 01000000 on session  7.", "    There are -2 un-resumed errors.  (arnnet has gone negative.)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arnnet);
    TerminalRuntimeSpec sp;
    sp.level = 41;
    sp.arnnet = c.arnnet;
    sp.next = c.next;
    if (c.next) sp.ring[0] = err("OE", 1, 7);
    Runtime r(sp);
    // A report file with a summary area.
    r.f->s.outfile.open_file(r.f->dir.file("report.txt"));
    morvik::section_headers(r.f->s);
    EXPECT_EQ(r.run(), SessionFixture::kReturned);
    r.f->s.outfile.close();
    std::string report = testkit::read_text(r.f->dir.file("report.txt"));
    EXPECT_TRUE(has(report, crlf(c.out))) << report;
    for (const std::string& line : c.summary) EXPECT_TRUE(has(report, line)) << report;
  }
}

TEST(RuntimeData, SessionsWithDamagedPointers) {
  TerminalRuntimeSpec sp;
  RuntimeSession item;
  item.number = 1;
  item.name = "C:/ADX_IDT1/EALITEMR.DAT";
  item.fnum = 0x00010005;
  item.buffsize = 64;
  RuntimeSession printer = item;
  printer.number = 2;
  printer.name = "OMKPIPR";
  printer.devnum = 4;
  printer.buffer_ptr = 0x12340000;  // not an application data pointer
  RuntimeSession log = item;
  log.number = 3;
  log.name = "C:/ADX_IDT1/EALLOG.DAT";
  log.ifend = 0x000F0150;
  RuntimeSession gone = item;
  gone.number = 4;
  gone.pointer = 0x00120040;
  RuntimeSession after = item;
  after.number = 5;
  sp.sessions = {item, printer, log, gone, after};
  sp.accessing = 1;
  sp.last_session = 3;
  sp.event = 7;
  Runtime r(sp);
  EXPECT_EQ(r.run(), SessionFixture::kReturned);
  const std::string out = r.out();
  // The buffer pointer is reported for its session only; the corrupted
  // session pointer ends the list.
  EXPECT_TRUE(has(out,
                  "\t   Session  1:  C:/ADX_IDT1/EALITEMR.DAT\t  64-byte buffer at 0" )) << out;
  EXPECT_TRUE(has(out,
                  "\t   Session  2:  \n** ERROR ** &buffer=12340000, which seems corrupted.\n\n"
                  "\t   Session  3:  C:/ADX_IDT1/EALLOG.DAT\t  64-byte buffer at ")) << out;
  EXPECT_TRUE(has(out, "\t   (IF END routine at 00f:150)\n")) << out;
  EXPECT_TRUE(has(out, "\n** ERROR ** crt2.files[4]=00120040, which seems corrupted.\n"
                       "\t  The application is currently accessing session 3\n\n\t EVENT% = 7\n")) << out;
  EXPECT_FALSE(has(out, "Session  5:"));
}

TEST(RuntimeData, TheSessionNameFillsTheBlockedSvcsField) {
  TerminalRuntimeSpec sp;
  RuntimeSession item;
  item.number = 1;
  item.name = "C:/ADX_IDT1/EALITEMR.DAT";
  item.fnum = 0x00010005;
  item.buffsize = 16;
  sp.sessions = {item};
  Runtime r(sp);
  morvik::Session& s = r.f->s;
  s.outfile.open_file(r.f->dir.file("report.txt"));
  s.outfile.write("SVC [" + std::string(12, ' ') + "] end\n");
  s.openfiles.fnumForSVC = 0x00010005;
  s.openfiles.SVCpos = 5;
  s.openfiles.SVCend = 17;
  EXPECT_EQ(r.run(), SessionFixture::kReturned);
  s.outfile.close();
  EXPECT_EQ(s.openfiles.fnumForSVC, 0u);
  // Cut at the field's end, never over what follows it.
  EXPECT_EQ(testkit::read_text(r.f->dir.file("report.txt")).substr(0, 22), "SVC [C:/ADX_IDT1/] end");
}

TEST(RuntimeData, TheSavedErrorChain) {
  struct Case {
    const char* what;
    int level;
    bool loop;
    const char* end;
  } cases[] = {
      {"level 64", 64, false, "\nEnd of saved error data\n"},
      // Below level 40 the fields lie 4 bytes lower.
      {"level 39", 39, false, "\nEnd of saved error data\n"},
      {"a chain that leads back to its first block", 64, true, "\nEnd of saved error data\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalRuntimeSpec sp;
    sp.level = c.level;
    sp.arnnet = 2;
    sp.saved = {{0x1F60, "EF", 0x00000001u, 1}, {0x1F40, "IH", 0x8001000Fu, 2}};
    sp.loop_saved = c.loop;
    Runtime r(sp);
    EXPECT_EQ(r.run(), SessionFixture::kReturned);
    r.f->out.str("");
    morvik::saved_error_data(r.f->s);
    const std::string out = r.out();
    // The progress line goes to standard output, here the same stream.
    EXPECT_TRUE(has(out, "\n\n    There are some outstanding errors...\n  Processing errors...\n"
                         "\nThe following data was saved before entering an ON ERROR routine:"
                         "   savesp1: 0x1f60  (stack pointer)\n   errc:    EF\n   errn:    0x1\n"
                         "   errio:   1  (session number)\n"
                         "\nThe following data was saved before entering an ON ERROR routine:"
                         "   savesp1: 0x1f40  (stack pointer)\n   errc:    IH\n   errn:    0x8001000f\n"
                         "   errio:   2  (session number)\n"))
        << out;
    EXPECT_EQ(has(out, "***"), c.loop) << out;
    EXPECT_EQ(out.substr(out.size() - std::strlen(c.end)), c.end);
  }
  // One un-resumed error has no saved data to show.
  TerminalRuntimeSpec one;
  one.arnnet = 1;
  one.saved = {{0x1F60, "EF", 1, 1}};
  Runtime r(one);
  r.run();
  r.f->out.str("");
  morvik::saved_error_data(r.f->s);
  EXPECT_EQ(r.out(), "");
}

TEST(RuntimeData, TheOlderRuntimeDataFormBelowLevel48) {
  TerminalRuntimeSpec sp;
  sp.level = 47;
  RuntimeSession item;
  item.number = 1;
  item.name = "C:/ADX_IDT1/EALITEMR.DAT";
  item.buffsize = 16;
  item.ifend = 0x000F0150;
  item.ifend_sp = 0x1F70;
  RuntimeSession gone = item;
  gone.number = 2;
  gone.pointer = 0x00120040;
  sp.sessions = {item, gone};
  sp.accessing = 1;
  sp.last_session = 1;
  sp.swi_count = 2;
  sp.on_error = 0x000F0100;
  sp.new_layout = false;
  sp.debug_line = 12;  // lnum in the older registers
  Runtime r(sp);
  EXPECT_EQ(r.run(), SessionFixture::kReturned);
  const std::string out = r.out();
  EXPECT_TRUE(has(out, "\n\t SWIs disabled 2 time(s)\n")) << out;
  EXPECT_TRUE(has(out, "\t   Session  1:  C:/ADX_IDT1/EALITEMR.DAT\t  16-byte buffer at ")) << out;
  EXPECT_TRUE(has(out, "\t   (IF END routine at 00f:150  )\n")) << out;
  EXPECT_TRUE(has(out, "\t   Session  2:  \n** ERROR ** crt.files[2]=00120040, which seems corrupted.\n"
                       "\tThe application is currently referencing session 1.\n")) << out;
  EXPECT_TRUE(has(out, "\t Current on error routine:     00f:100\n\t  lnum:\t\t\t\t12\n"
                       "\t IF END stack pointers:\tSession 01:  1f70\n\t\t\t\t\tSession 02:  1f70\n\t\t\t\t\t\n")) << out;
}

TEST(RuntimeData, TheDemosRuntime) {
  morvik_test::Demo term;
  testkit::RunResult res = term.run({"appl.sym", "mpostapl", "25", "512", "SCREEN"});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_TRUE(has(res.out, "\n\t CBASIC runtimes dated 05/14/09, version 64\n\n"));
  EXPECT_TRUE(has(res.out, "\n\t The last 3 errors recorded by the runtimes:\n\n"
                           "\t    OE C806F380   03-14  14:31:05.250   session    3   repeated once\n"
                           "\t    IH 0F000180   03-14  14:32:01.500   session    1\n"
                           "\t    EF 01000000   03-14  14:32:06.125   session    1\n"))
      << res.out;
  EXPECT_TRUE(has(res.out, "\n\t There are 2 un-resumed errors\n"));
  EXPECT_TRUE(has(res.out, "\t   Session  2:  CR:      \t  32-byte buffer at "));
  EXPECT_TRUE(has(res.out, "\t   Session  3:  C:/ADX_IDT1/EALLOG.DAT\t 128-byte buffer at "));
  EXPECT_TRUE(has(res.out, "\nEnd of saved error data\n"));
}

TEST(RuntimeData, TheSwiEnableDisableTrace) {
  TerminalRuntimeSpec sp;
  sp.level = 55;
  Runtime r(sp, [](DumpBuilder& b, int p, uint16_t d) {
    testkit::put_swi_trace(b, p, d, 0x3000, {0x80010150u, 0x80000160u, 0xFFFFFFFFu});
  });
  testkit::write_text(r.f->dir.file("appl.sym"), "0000 VARIABLES 3000 disab_enab_trace\n");
  r.f->s.symfile.open(r.f->dir.file("appl.sym"));
  EXPECT_EQ(r.run(), SessionFixture::kReturned);
  // High word 0x8001 is a disable, 0x8000 an enable; the empty entries
  // follow as enables of 0000:0000.
  EXPECT_TRUE(has(r.out(), "\t disab_enab_trace[] contains the following entries:\n"
                           "\t      the last transition from enabled to disabled: \t   0001:0150 Disable in \n"
                           "\t   0000:0160  Enable in \n"
                           "\t    *** WRAP ***\n"
                           "\t   0000:0000  Enable in \n"))
      << r.out();
}
