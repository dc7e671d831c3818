// The SVC trace, the SVC the application is blocked in, and the name of
// the file it refers to filled in later by the open-files section.
// GCC 12 at -O3 (the Windows builds) takes the strings of the case tables'
// defaulted members for uninitialized where they are copied.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "common/le.h"
#include "morvik/driver/morvik_procs.h"
#include "morvik/sections/dumpfunc_svc.h"
#include "testkit/svcbuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::add_app;
using morvik_test::App;
using morvik_test::Fixture;
using morvik_test::load_ldt;
using morvik_test::report_body;
using morvik_test::report_to_file;
using morvik_test::summary;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::FileSpec;
using testkit::KernelBuilder;
using testkit::SvcBuilder;
using testkit::SvcEntry;

// The descriptions name only the fields that matter; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr uint32_t kPblk = 0x0100, kName = 0x0200, kTable = 0x0300;

Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

// The arguments of an SVC on the stack.
Bytes svc_args(uint16_t func, uint32_t pblk, uint32_t third = 0) {
  Bytes a = testkit::le16_bytes(func);
  for (uint32_t v : {pblk, third})
    for (unsigned char c : testkit::le32_bytes(v)) a.push_back(c);
  return a;
}

Bytes pblk_bytes(uint8_t option, uint16_t flag, uint32_t swi, uint32_t parm1) {
  Bytes p(20, 0);
  p[1] = option;
  vt::put16(p.data() + 2, flag);
  vt::put32(p.data() + 4, swi);
  vt::put32(p.data() + 8, parm1);
  return p;
}

// An application MPOSTAPL whose LDT is loaded.
struct AppDump {
  DumpBuilder b{DumpVariant::PagedTerminal};
  KernelBuilder k{b};
  App app;
  AppDump() {
    testkit::ProcSpec p = testkit::proc_spec("MPOSTAPL", 0x23);
    app = add_app(b, k, p);
  }
  uint32_t data(uint32_t off) const { return uint32_t{app.data} << 16 | off; }
  void start(Fixture& f) {
    load_ldt(f, b, app.proc);
    f.s.applname = "mpostapl";
    f.s.APPL_NAME = "MPOSTAPL";
    morvik::_pd pd{};
    std::memcpy(pd.p_name, "MPOSTAPL  ", 10);
    pd.p_pid = 0x23;
    f.s.applprocess = pd;
    f.s.DS_selector = app.data;
    f.s.SS_selector = app.stack;
  }
};

std::string entry(const char* svc, const char* process, const char* time) {
  std::string name = std::string(process) + std::string(10 - std::strlen(process), ' ');
  return std::string("\tSVC  ") + svc + "    " + name + "     time " + time + "\n";
}

}  // namespace

TEST(SvcTrace, OldestFirstWrappingOnceAndTheLastSvcOfTheApplication) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  uint32_t app = k.add_pd(testkit::proc_spec("MPOSTAPL", 0x23));
  uint32_t other = k.add_pd(testkit::proc_spec("OTHER", 0x24));
  SvcBuilder svc(b);
  // Oldest at slot 2: slots 2, 3, 0, 1. The application's last SVC is a GET.
  svc.svc_trace({{app, 8, 1000}, {app, 0, 3600000}, {other, 5, 61001}, {other, 7, 5, 2}, {other, 50, 7}}, 5, 2);
  Fixture f(b);
  report_to_file(f);
  f.s.applname = "mpostapl";
  f.s.APPL_NAME = "MPOSTAPL";
  morvik::svctrace(f.s);
  EXPECT_EQ(report_body(f), "\n SUB SVC (Supervisor Call) Trace:\n\n" + entry("OPEN     ", "OTHER", "0:01:01.001") +
                                "\tSVC  func = 50, time 0:00:00.007" + entry("WRITE    ", "MPOSTAPL", "0:00:01.000") +
                                entry("GET      ", "MPOSTAPL", "1:00:00.000"));
  EXPECT_EQ(summary(f), std::vector<std::string>{" The last SVC for MPOSTAPL was GET at time 1:00:00.000."});
  EXPECT_TRUE(f.s.openfiles.svc_timestamp);
  EXPECT_EQ(f.err.str(), "\n  Processing the SVC trace...\n");
}

TEST(SvcTrace, ANextIndexOutsideTheTableEndsTheSectionWithOneLine) {
  for (int damage : {0, 1}) {
    DumpBuilder b(DumpVariant::ELController);
    KernelBuilder k(b);
    uint32_t app = k.add_pd(testkit::proc_spec("MPOSTAPL", 0x23));
    SvcBuilder svc(b);
    svc.svc_trace({{app, 7, 1000}}, 4, 0);
    // Past the table's end, or between two entries.
    svc.set_svc_next(damage == 0 ? svc.svc_next_value(4) : static_cast<uint16_t>(svc.svc_next_value(1) + 3));
    Fixture f(b);
    report_to_file(f);
    f.s.applname = "mpostapl";
    morvik::svctrace(f.s);
    std::string body = report_body(f);
    EXPECT_EQ(body.find("\n SUB SVC (Supervisor Call) Trace:\n\n*** The SVC trace's next entry "), 0u) << body;
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 4);
    EXPECT_TRUE(summary(f).empty());
  }
}

TEST(SvcTrace, WithoutItsSymbolsNothingIsWritten) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  Fixture f(b);
  morvik::svctrace(f.s);
  EXPECT_EQ(f.out.str(), "");
}

TEST(ShowSvc, EachKindOfBlockedCall) {
  struct Case {
    uint16_t func;
    Bytes pblk;
    uint32_t third;
    std::string out;
    uint32_t fnum;    // fnumForSVC afterwards
    int field;        // bytes of the blank field (0: none)
  };
  AppDump d;
  const uint32_t name = d.data(kName), table = d.data(kTable);
  const std::vector<Case> cases = {
      {0, pblk_bytes(3, 0, 0, 0), 0, ":  GET table 3\n", 0, 0},
      {1, pblk_bytes(4, 0, 0, 0), 0, ":  SET table 4\n", 0, 0},
      // The table name is text when it is application data, else its value.
      {2, pblk_bytes(5, 0, 0, name), table, ":  LOOKUP table 5, ADXTABLE, file C:/ADX_UDT1/LONGNAME\n", 0, 0},
      {2, pblk_bytes(5, 0, 0, 0x12345678), 0x00AB0010, ":  LOOKUP table 5, 00AB0010\n", 0, 0},
      {3, pblk_bytes(0, 0, 0, name), 0, ":  CREATE C:/ADX_UDT1/LONGNAME.\n", 0, 0},
      {4, pblk_bytes(0, 0, 0, name), 0, ":  DELETE C:/ADX_UDT1/LONGNAME.\n", 0, 0},
      {5, pblk_bytes(0, 0, 0, d.data(kName + 0x40)), 0, ":  OPEN CR:\n", 0, 0},
      {6, pblk_bytes(0, 1, 0, 0x00010005), 0, ":  TCLOSE" + std::string(26, ' ') + "\n", 0x00010005, 25},
      {6, pblk_bytes(0, 0, 0, 0x00010005), 0, ":  CLOSE" + std::string(26, ' ') + "\n", 0x00010005, 25},
      {7, pblk_bytes(0, 0, 0, 0x00020001), 0, ":  READ" + std::string(31, ' ') + "\n", 0x00020001, 30},
      {8, pblk_bytes(0, 0, 0, 0x00020001), 0, ":  WRITE to" + std::string(28, ' ') + "\n", 0x00020001, 27},
      {9, pblk_bytes(0, 0, 1, 0x00020001), 0, ":  E_SPECIAL to" + std::string(26, ' ') + "\n", 0x00020001, 25},
      {9, pblk_bytes(0, 0, 0, 0x00020001), 0, ":  SPECIAL to" + std::string(28, ' ') + "\n", 0x00020001, 27},
      {24, pblk_bytes(0, 0, 1, 500), 0, ":  TIMER 500 msec, asynchronous.\n", 0, 0},
      {24, pblk_bytes(0, 0, 0, 500), 0, ":  TIMER 500 msec, synchronous.\n", 0, 0},
      {28, {}, 0, ":  WAIT\n", 0, 0},
      {35, pblk_bytes(0, 0, 0, 0), 0, ":  MALLOC\n", 0, 0},
      {13, pblk_bytes(0, 0, 0, 0), 0, "\n", 0, 0},
  };
  d.b.put(d.app.proc, name, text("C:/ADX_UDT1/LONGNAME.DAT"));
  d.b.put(d.app.proc, d.data(kName + 0x40), text("OMKPIPR"));
  d.b.put(d.app.proc, table, text("ADXTABLE"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    if (!c.pblk.empty()) d.b.put(d.app.proc, d.data(kPblk), c.pblk);
    Fixture f(d.b);
    d.start(f);
    Bytes args = svc_args(c.func, c.func == 28 ? 0 : d.data(kPblk), c.third);
    morvik::showSVC(f.s, args.data());
    EXPECT_EQ(f.out.str(), c.out);
    EXPECT_EQ(f.s.openfiles.fnumForSVC, c.fnum);
    if (c.field) {
      EXPECT_EQ(f.s.openfiles.SVCend - f.s.openfiles.SVCpos, c.field);
      EXPECT_EQ(f.out.str()[size_t(f.s.openfiles.SVCpos) - 2], c.func == 6 ? 'E' : c.func == 7 ? 'D' : 'o');
    }
  }
}

TEST(ShowSvc, AParameterBlockOutsideApplicationDataWritesNothing) {
  AppDump d;
  Fixture f(d.b);
  d.start(f);
  Bytes args = svc_args(7, 0x00100000);
  morvik::showSVC(f.s, args.data());
  EXPECT_EQ(f.out.str(), "");
  EXPECT_EQ(f.s.openfiles.fnumForSVC, 0u);
}

TEST(ShowSvc, SummaryLinesAndTheTimeTheRuntimeRecorded) {
  AppDump d;
  Bytes block = {0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50};
  block.resize(42, 0);
  vt::put32(block.data() + 38, testkit::msecs(10, 20, 30) + 40);
  d.b.put(d.app.proc, d.data(0x0800), block);
  d.b.put(d.app.proc, d.data(kPblk), pblk_bytes(3, 0, 0, 0));
  Fixture f(d.b);
  d.start(f);
  report_to_file(f);
  f.s.cbrt = 50;
  Bytes args = svc_args(0, d.data(kPblk));
  morvik::showSVC(f.s, args.data());
  EXPECT_EQ(report_body(f), ":  GET table 3\n");
  EXPECT_EQ(summary(f), (std::vector<std::string>{" MPOSTAPL is in a GET SVC issued at time 10:20:30.040",
                                                  "    This occurred at time 10:20:30.040."}));
}

TEST(ShowSvc, AWaitOfABasicApplicationNamesItsSessions) {
  struct Case {
    uint16_t count;
    std::vector<std::string> lines;
  } cases[] = {
      {0, {" MPOSTAPL is in a 2500 millisecond WAIT."}},
      {2, {" MPOSTAPL is in a 2500 millisecond WAIT on session(s) 1, 2."}},
      {6,
       {" MPOSTAPL is in a 2500 millisecond WAIT on session(s) 1, 2, 3, 4,",
        std::string(70 - 8 - 4, ' ') + " 5, 6."}},
      // A count too large for the 40 bytes read is cut to the 17 they hold.
      {400,
       {" MPOSTAPL is in a 2500 millisecond WAIT on session(s) 1, 2, 3, 4,",
        std::string(70 - 52 - 4, ' ') + " 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17."}},
  };
  for (const Case& c : cases) {
    AppDump d;
    // BP 0x1F00 -> 0x1F10 -> 0x1F20; the count is 6 bytes into that frame.
    uint32_t ss = uint32_t{d.app.stack} << 16;
    d.b.put(d.app.proc, ss | 0x1F00, testkit::le16_bytes(0x1F10));
    d.b.put(d.app.proc, ss | 0x1F10, testkit::le16_bytes(0x1F20));
    Bytes frame = testkit::le16_bytes(c.count);
    size_t shown = std::min<size_t>(c.count, 17);
    for (size_t i = 1; i <= shown; ++i)
      for (unsigned char x : testkit::le16_bytes(static_cast<uint16_t>(i))) frame.push_back(x);
    if (shown < 17)
      for (unsigned char x : testkit::le32_bytes(2500)) frame.push_back(x);
    else
      for (size_t i = 0; i < 4; ++i) frame.push_back(0);
    d.b.put(d.app.proc, ss | (0x1F20 + 6), frame);
    Fixture f(d.b);
    d.start(f);
    report_to_file(f);
    f.s.BASIC = 1;
    f.s.space.termappl = 1;
    f.s.BP = 0x1F00;
    Bytes args = svc_args(28, 0);
    morvik::showSVC(f.s, args.data());
    std::vector<std::string> want = c.lines;
    if (c.count == 400) want[0] = " MPOSTAPL is in a 0 millisecond WAIT on session(s) 1, 2, 3, 4,";
    want.push_back(" MPOSTAPL is in a WAIT SVC");
    EXPECT_EQ(summary(f), want);
  }
}

// The blocked call's file name written into its line by the open-files
// section: right-aligned in 24 for a disk file, cut to the field for a long
// name, never over the line's end.
TEST(ShowSvc, TheOpenFilesSectionFillsInTheFileName) {
  struct Case {
    uint16_t func;
    FileSpec file;
    std::string line;
  } cases[] = {
      {6, {.table = 2, .entry = 5, .unique = 0x0123, .mod = 2, .name = "C:/ADX_UDT1/EJ.DAT"},
       ":  CLOSE " + std::string(6, ' ') + "C:/ADX_UDT1/EJ.DAT" + " "},
      {7, {.table = 2, .entry = 5, .unique = 0x0123, .mod = 7, .name = std::string(40, 'M')},
       ":  READ " + std::string(30, 'M')},
      {7, {.table = 2, .entry = 5, .unique = 0x0123, .mod = 3}, ":  READ Console" + std::string(23, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    AppDump d;
    d.b.put(d.app.proc, d.data(kPblk), pblk_bytes(0, 0, 0, 0x01230205));
    SvcBuilder svc(d.b);
    svc.file_tables(4, 8, 8);
    svc.add_file(c.file);
    Fixture f(d.b);
    d.start(f);
    report_to_file(f);
    f.s.outfile.write("\n\t MPOSTAPL is in a supervisor call");
    Bytes args = svc_args(c.func, d.data(kPblk));
    morvik::showSVC(f.s, args.data());
    f.s.outfile.write("after\n");
    morvik::showfnums(f.s);
    std::string body = report_body(f);
    EXPECT_EQ(body.substr(0, body.find('\n', 2) + 7), "\n\t MPOSTAPL is in a supervisor call" + c.line + "\nafter\n");
    EXPECT_EQ(f.s.openfiles.fnumForSVC, 0u);
  }
}

// The screen cannot go back: the name is not written, and not appended.
TEST(ShowSvc, OnTheScreenTheFieldStaysBlank) {
  AppDump d;
  d.b.put(d.app.proc, d.data(kPblk), pblk_bytes(0, 0, 0, 0x00010000));
  SvcBuilder svc(d.b);
  svc.file_tables(1, 4, 8);
  svc.add_file({.mod = 2, .name = "C:/ADX_UDT1/EJ.DAT"});
  Fixture f(d.b);
  d.start(f);
  Bytes args = svc_args(7, d.data(kPblk));
  morvik::showSVC(f.s, args.data());
  morvik::showfnums(f.s);
  std::string out = f.out.str();
  EXPECT_EQ(out.substr(0, 40), ":  READ" + std::string(31, ' ') + "\n\n");
  // Once: in the open-files list.
  EXPECT_EQ(out.find("EJ.DAT"), out.rfind("EJ.DAT"));
  EXPECT_EQ(f.s.openfiles.fnumForSVC, 0u);
}

TEST(ShowSvc, ProcessDetailsNameTheCallFromTheStack) {
  // The return address's selector at byte 4 (arguments from 6) or byte 6
  // (arguments from 8).
  for (uint32_t at : {6u, 8u}) {
    DumpBuilder b(DumpVariant::PagedTerminal);
    KernelBuilder k(b);
    testkit::ProcSpec p = testkit::proc_spec("MPOSTAPL", 0x23);
    p.flag = 0x0100;
    testkit::Regs r;
    r.sp = 0x1F00;
    App app = add_app(b, k, p, r);
    // add_app fills in the segments; the stack and data selectors follow the code's.
    uint32_t ss = uint32_t{app.stack} << 16, ds = uint32_t{app.data} << 16;
    Bytes frame(at - 2, 0);
    for (unsigned char c : testkit::le16_bytes(app.code)) frame.push_back(c);
    for (unsigned char c : svc_args(7, ds | kPblk)) frame.push_back(c);
    b.put(app.proc, ss | 0x1F00, frame);
    b.put(app.proc, ds | kPblk, pblk_bytes(0, 0, 0, 0x00020001));
    Fixture f(b);
    f.s.applname = "mpostapl";
    f.s.APPL_NAME = "MPOSTAPL";
    morvik::getprocesslist(f.s);
    ASSERT_TRUE(f.s.applprocess.has_value());
    morvik_test::load_selected_ldt(f);
    f.out.str("");
    EXPECT_EQ(morvik::processdetails(f.s), 0);
    std::string out = f.out.str();
    EXPECT_NE(out.find("\n\t MPOSTAPL is in a supervisor call:  READ" + std::string(31, ' ') + "\n"), std::string::npos)
        << out;
    EXPECT_EQ(f.s.openfiles.fnumForSVC, 0x00020001u);
  }
}
