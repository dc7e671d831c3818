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

// A terminal application with a code and a data segment; `spec` is placed
// in its data segment, then `change` may damage it.
struct Runtime {
  explicit Runtime(const TerminalRuntimeSpec& spec, const std::function<void(DumpBuilder&, int, uint16_t)>& change = {})
      : b(DumpVariant::PagedTerminal) {
    proc = b.add_process();
    code = b.add_segment(proc, 0x2000, true);
    data = b.add_segment(proc, 0x4000, false);
    testkit::add_terminal_runtime(b, proc, data, spec);
    if (change) change(b, proc, data);
    f = std::make_unique<SessionFixture>(b);
    morvik_test::load_ldt(*f, b, proc);
    f->s.DS_selector = data;
    f->s.space.termappl = 1;
    f->s.BASIC = 1;
    f->s.cbrt = static_cast<int16_t>(spec.level);
    f->s.MAXFN = spec.level > 47 ? 104 : 99;
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
