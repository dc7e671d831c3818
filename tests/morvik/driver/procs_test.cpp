// Process discovery: the process list, the memory usage section and the
// choice of the application process, on every dump variant.
#include <gtest/gtest.h>

#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/driver/dumpfunc_comd.h"
#include "morvik/driver/morvik_procs.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::add_app;
using morvik_test::App;
using morvik_test::Fixture;
using morvik_test::report_body;
using morvik_test::report_to_file;
using morvik_test::SessionFixture;
using morvik_test::summary;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::KernelBuilder;
using testkit::proc_spec;
using testkit::ProcSpec;

namespace {

const char* const kListHeader =
    "\n SUB Process list:  C ==> current;  R ==> ready;  W ==> waiting on event;\n"
    "\t\t    B ==> blocked;  S ==> shared code holder; T ==> terminate\n\n"
    "\t Status PID  Function Process   Priority     Application\n";

std::unique_ptr<Fixture> list(const DumpBuilder& b, const std::string& applname) {
  auto f = std::make_unique<Fixture>(b);
  f->s.applname = applname;
  f->s.APPL_NAME = applname;
  for (char& c : f->s.APPL_NAME) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  morvik::getprocesslist(f->s);
  return f;
}

}  // namespace

TEST(ProcessList, ListsMemoryAndSelectsOnEveryVariant) {
  for (auto v : testkit::kAllDumpVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    KernelBuilder k(b);
    k.add_pd(proc_spec("kernel", 1, 0, 0, 0x0001));
    add_app(b, k, proc_spec("tsthand", 0x22, 1, 80), {}, 0x1000, "C:/ADX_SPGM/TSTHAND.286");
    App app = add_app(b, k, proc_spec("mpostapl", 0x23, 6));
    k.set_current(app.pd);
    auto f = list(b, "mpostapl");
    EXPECT_EQ(f->out.str(), std::string(kListHeader) +
                                "\t  (R)\t0001  system  kernel        0   \n"
                                "\t  (B)\t0022  appl    tsthand      80    C:/ADX_SPGM/TSTHAND.286\n"
                                "\t  (C)\t0023  appl    mpostapl    100    C:/ADX_IPGM/MPOSTAPL.286\n"
                                "\n SUB Application Memory Usage:\n"
                                "\n\tMemory (in bytes) allocated for tsthand:"
                                "\n\t  Code:\t\t   4096 (1000h)"
                                "\n\t  Static data:     8192 (2000h)\n"
                                "\t  Stack:           4096 (1000h)\n"
                                "\n\tMemory (in bytes) allocated for mpostapl:"
                                "\n\t  Code:\t\t   4096 (1000h)"
                                "\n\t  Static data:     8192 (2000h)\n"
                                "\t  Stack:           8192 (2000h)\n"
                                "\n\tTotal memory allocated to the application(s):   0.035 Mb\n\n");
    morvik::Session& s = f->s;
    ASSERT_TRUE(s.applprocess.has_value());
    EXPECT_EQ(s.applprocess->p_pid, 0x23u);
    EXPECT_EQ(s.thispd, app.pd);
    EXPECT_EQ(s.currentPID, 0x23u);
    EXPECT_EQ(s.space.CR3, k.for_process(app.proc).cr3);
    EXPECT_EQ(s.space.LDT_addr, b.ldt_addr(app.proc));
    EXPECT_EQ(s.space.LDT_offset, b.ldt_offset(app.proc));
    EXPECT_EQ(s.applfilename, "C:/ADX_IPGM/MPOSTAPL.286");
    EXPECT_EQ(s.shared, 0);
    EXPECT_EQ(s.applflat, 0);
    EXPECT_EQ(s.sharedCodeHolder, 0);
    ASSERT_EQ(s.plist.size(), 3u);
    EXPECT_EQ(s.plist[0].name, "mpostapl");
    EXPECT_EQ(s.plist[2].rpid, 1u);
    EXPECT_EQ(f->err.str(), "");
  }
}

TEST(ProcessList, StatusMarksFlagsAndThe32BitMark) {
  DumpBuilder b(DumpVariant::ELTerminal);
  KernelBuilder k(b);
  uint32_t env = k.cmdenv("C:/A.286");
  auto add = [&](ProcSpec p, uint32_t cmdenv) {
    p.cmdenv = cmdenv;
    return k.add_pd(p);
  };
  add(proc_spec("ready", 0x10, 0), env);
  add(proc_spec("blocked", 0x11, 1), env);
  add(proc_spec("terming", 0x12, 4, 70), env);
  add(proc_spec("waiting", 0x13, 6, 100, 0x0004 | 0x8000), env);
  add(proc_spec("holder", 0x14, 8, 100, 0x8000), env);
  add(proc_spec("odd", 0x15, 3), 0);
  add(proc_spec("flatappl", 0x16, 0), k.cmdenv("C:/ADX_IPGM/FLATAPPL.386"));
  add(proc_spec("rpost", 0x17, 0), env);
  auto f = list(b, "flatappl");
  std::string out = f->out.str();
  EXPECT_EQ(out.substr(0, out.find("\n SUB Application Memory")),
            std::string(kListHeader) +
                "\t  (R)\t0010  appl    ready       100    C:/A.286\n"
                "\t  (B)\t0011  appl    blocked     100    C:/A.286\n"
                "\t  (T)\t0012  appl    terming      70    C:/A.286 aborted\n"
                "\t  (W)\t0013  appl    waiting     100    C:/A.286 in async error routine\n"
                "\t  (S)\t0014  appl    holder      100    C:/A.286 running termevent SWI\n"
                "\t  (?) \t0015  appl    odd         100   \n"
                "\t  (R)\t0016  appl    flatappl    100    C:/ADX_IPGM/FLATAPPL.386  32-bit appl\n"
                "\t  (R)\t0017  appl    rpost       100    C:/A.286\n");
  EXPECT_EQ(f->s.applflat, 1);
  EXPECT_EQ(f->s.rpostActive, 0);  // rpost has no code
  EXPECT_EQ(f->err.str(), "\n\tSorry - Morvik doesn't handle 32-bit processes, and \n\t\tflatappl is a 32-bit process.\n");
}

TEST(ProcessList, PrefixSelectsTheFirstMatchPastASharedCodeHolder) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  add_app(b, k, proc_spec("mposthld", 0x30, 8));
  App app = add_app(b, k, proc_spec("mpostapl", 0x31));
  add_app(b, k, proc_spec("mpostxyz", 0x32));
  App rpost = add_app(b, k, proc_spec("rpostapl", 0x33));
  auto f = list(b, "mpost");
  ASSERT_TRUE(f->s.applprocess.has_value());
  EXPECT_EQ(f->s.applprocess->p_pid, 0x31u);
  EXPECT_EQ(f->s.space.CR3, b.cr3(app.proc));
  EXPECT_EQ(f->s.sharedCodeHolder, 1);
  EXPECT_EQ(f->s.rpostActive, 1);
  EXPECT_EQ(f->s.currentPID, 0u);  // no "rlr": no current process
  EXPECT_EQ(f->out.str().find("(C)"), std::string::npos);
  (void)rpost;

  // "0" names no process; a name longer than every process name matches none.
  EXPECT_FALSE(list(b, "0")->s.applprocess.has_value());
  EXPECT_FALSE(list(b, "mpostapl1")->s.applprocess.has_value());
}

TEST(ProcessList, TerminalProcessOnSharedRuntimesIsRefused) {
  auto build = [](DumpVariant v, const std::string& file) {
    auto b = std::make_unique<DumpBuilder>(v);
    KernelBuilder k(*b);
    ProcSpec p = proc_spec("MPOSTAPL", 0x40);
    p.srtl = 0x1234;
    add_app(*b, k, p, {}, 0x2000, file);
    return b;
  };
  auto term = build(DumpVariant::PagedTerminal, "C:/ADX_IPGM/MPOSTAPL.286");
  {
    Fixture f(*term);
    f.s.applname = "mpostapl";
    EXPECT_EQ(f.status_of([&] { morvik::getprocesslist(f.s); }), 0);
    EXPECT_TRUE(f.out.str().ends_with("\n     Terminal process mpostapl uses SRTLs - MORVIK doesn't handle them.\n"))
        << f.out.str();
  }
  {
    Fixture f(*term);
    f.s.applname = "mpostapl";
    report_to_file(f);
    EXPECT_EQ(f.status_of([&] { morvik::getprocesslist(f.s); }), 0);
    EXPECT_EQ(summary(f),
              (std::vector<std::string>{"", " Terminal process mpostapl uses SRTLs - MORVIK doen't handle them."}));
    EXPECT_EQ(f.err.str(), "..\n     This terminal application uses SRTLs - MORVIK doesn't handle them.\n");
  }
  {
    Fixture f(*term);  // debug mode goes on
    f.s.applname = "mpostapl";
    f.s.debugmode = 1;
    EXPECT_EQ(f.status_of([&] { morvik::getprocesslist(f.s); }), SessionFixture::kReturned);
    EXPECT_EQ(f.s.shared, 1);
  }
  // A controller's process is refused only when it runs the terminal runtime ("R::").
  auto ctl = build(DumpVariant::ELController, "C:/ADX_IPGM/MPOSTAPL.286");
  auto list_ctl = list(*ctl, "mpostapl");
  EXPECT_EQ(list_ctl->s.shared, 1);
  EXPECT_EQ(list_ctl->s.space.termappl, 0);
  auto rctl = build(DumpVariant::ELController, "R::ADX_IPGM:MPOSTAPL.286");
  Fixture g(*rctl);
  g.s.applname = "mpostapl";
  EXPECT_EQ(g.status_of([&] { morvik::getprocesslist(g.s); }), 0);
  EXPECT_EQ(g.s.space.termappl, 1);
}

TEST(ProcessList, FailingProcessNameGoesIntoTheSummaryLine) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  testkit::CcomdSpec c;
  c.reason = 36;
  c.vec = 13;
  c.cs = 0x0067;
  c.eip = 0x0123;
  k.ccomd(c);
  App app = add_app(b, k, proc_spec("mpostapl", 0x23), {}, 0x1FFF);
  k.set_current(app.pd);
  Fixture f(b);
  f.s.applname = "mpostapl";
  report_to_file(f);
  morvik::getCCOMD(f.s);
  morvik::getprocesslist(f.s);
  std::vector<std::string> lines = summary(f);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], " A General Protection Exception occurred at 67:0123 in process mpostapl.");
  EXPECT_EQ(lines[3], " mpostapl has a 7Kb stack.");
  EXPECT_EQ(f.err.str(), "...");
}

TEST(ProcessList, ALongFailingLineStaysInsideItsBoxLine) {
  // A three-digit selector and a ten-letter name make the exception line
  // longer than its box line's room: it is cut there, and the box's closing
  // "**" and line end stay as they were.
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  testkit::CcomdSpec c;
  c.reason = 36;
  c.vec = 13;
  c.cs = 0x01A7;
  c.eip = 0x0123;
  k.ccomd(c);
  App app = add_app(b, k, proc_spec("mpostapl10", 0x23), {}, 0x1FFF);
  k.set_current(app.pd);
  Fixture f(b);
  f.s.applname = "mpostapl10";
  report_to_file(f);
  morvik::getCCOMD(f.s);
  morvik::getprocesslist(f.s);
  std::vector<std::string> lines = summary(f);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2], " A General Protection Exception occurred at 1A7:0123 in process mpostapl");
  std::string text = report_file(f);
  size_t start = text.find("\t** ");
  for (size_t i = 0; i < 14; ++i)
    EXPECT_EQ(text.substr(start + 80 * i + 76, 4), "**\r\n") << "box line " << i;
}

TEST(MemoryUsage, SharedCodeIsNotCountedAndTheStackLineNeedsLessThan8K) {
  for (uint32_t stack : {8191u, 8192u}) {
    DumpBuilder b(DumpVariant::MarraTerminal);
    KernelBuilder k(b);
    ProcSpec shr = proc_spec("shrapp", 0x50);
    shr.cmdenv = k.cmdenv("C:/S.286");
    shr.mem[0] = k.md_chain({{0x1000, 0, 0}, {0x800, 0, 0x40}});
    shr.mem[2] = k.md_chain({{0x3000, 0, 0}});
    k.add_pd(shr);
    add_app(b, k, proc_spec("mpostapl", 0x51), {}, stack);
    Fixture f(b);
    f.s.applname = "mpostapl";
    report_to_file(f);
    morvik::getprocesslist(f.s);
    std::string body = report_body(f);
    EXPECT_NE(body.find("\n\tMemory (in bytes) allocated for shrapp:"
                        "\n\t  Code:\t\t   6144 (1800h) (shared)"
                        "\t  Other data:     12288 (3000h) (application heap, etc.)\n"
                        "\n"
                        "\n\tMemory (in bytes) allocated for mpostapl:"),
              std::string::npos)
        << body;
    // 12288 + 4096 + 8192 + the stack
    EXPECT_NE(body.find("application(s):   0.031 Mb\n\n"), std::string::npos)
        << body;
    EXPECT_EQ(summary(f), stack == 8191 ? std::vector<std::string>{" mpostapl has a 7Kb stack."}
                                        : std::vector<std::string>{});
  }
}

TEST(MemoryUsage, ChainSumsDoNotWrapAt32Bits) {
  DumpBuilder b(DumpVariant::ELController);
  KernelBuilder k(b);
  ProcSpec p = proc_spec("huge", 0x61);
  p.cmdenv = k.cmdenv("C:/HUGE.286");
  p.mem[2] = k.md_chain({{0xFFFFFFFFu, 0, 0}, {2, 0, 0}});
  k.add_pd(p);
  auto f = list(b, "0");
  std::string out = f->out.str();
  EXPECT_NE(out.find("\n\tMemory (in bytes) allocated for huge:"
                     "\t  Other data:   4294967297 (100000001h) (application heap, etc.)\n\n"
                     "\n\tTotal memory allocated to the application(s): 4096.000 Mb\n\n"),
            std::string::npos)
      << out;
}

TEST(DamagedLists, ACyclicProcessListEndsWithANote) {
  for (auto v : testkit::kAllDumpVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    KernelBuilder k(b);
    uint32_t first = k.add_pd(proc_spec("kernel", 1, 0, 0, 0x0001));
    App app = add_app(b, k, proc_spec("mpostapl", 0x23));
    k.set_thread(app.pd, first);
    auto f = list(b, "mpostapl");
    std::string note = vt::format("*** Process list: the descriptor at %08lX comes round again; the walk stops here.",
                                  static_cast<unsigned long>(first));
    std::string out = f->out.str();
    EXPECT_NE(out.find("100    C:/ADX_IPGM/MPOSTAPL.286\n\t" + note + "\n\n SUB Application Memory Usage:"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("(2000h)\n\n\t" + note + "\n\n\tTotal memory"), std::string::npos) << out;
    EXPECT_TRUE(f->s.applprocess.has_value());
  }
}

TEST(DamagedLists, AListHeadNotInTheDumpIsADamagedListNotAnEmptyOne) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  b.add_bsx_record("thrdrt", 0x00F00000, 0);  // far past the dump's end
  auto f = list(b, "mpostapl");
  EXPECT_NE(f->out.str().find(std::string(kListHeader) +
                              "\t*** Process list: its head at dump offset 00F00000 is not in the dump.\n"),
            std::string::npos)
      << f->out.str();
  EXPECT_TRUE(f->s.process_list_cut);
  EXPECT_TRUE(f->s.plist.empty());
}

TEST(DamagedLists, AnAddressThatDoesNotTranslateEndsTheWalkNotTheRun) {
  struct Case {
    DumpVariant v;
    uint32_t segment_base;  // a GDT segment whose memory is not in the dump; 0: a selector beyond the GDT
  } cases[] = {{DumpVariant::PagedTerminal, 0},
               {DumpVariant::PagedTerminal, 0x90000000u},
               {DumpVariant::ELController, 0},
               {DumpVariant::ELController, 0x90000000u},
               {DumpVariant::MarraTerminal, 0x00F00000u}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.v));
    DumpBuilder b(c.v);
    KernelBuilder k(b);
    App app = add_app(b, k, proc_spec("mpostapl", 0x23));
    uint32_t bad = c.segment_base ? uint32_t{b.add_gdt_segment(c.segment_base, 0xFFFF, false)} << 16 | 0x0010
                                  : 0x7FF80010u;
    k.set_thread(app.pd, bad);
    // A page table outside the dump (paged): ends the walk all the same.
    if (c.segment_base == 0x90000000u && b.paged()) b.put_phys32(b.ptd_addr() + (0x90000000u >> 22) * 4, 0x7FFFF067);
    auto f = list(b, "mpostapl");
    std::string note = vt::format(
        "*** Process list: the descriptor at %08lX is not in the dump; the walk stops here.",
        static_cast<unsigned long>(bad));
    std::string out = f->out.str();
    EXPECT_NE(out.find("MPOSTAPL.286\n\t" + note + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(2000h)\n\n\t" + note + "\n\n\tTotal memory"), std::string::npos) << out;
  }
}

// A program name in memory that was not dumped is not shown as an empty one.
TEST(DamagedLists, ACommandEnvironmentNotInTheDumpIsNamedAsSuch) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELController}) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    KernelBuilder k(b);
    ProcSpec p = proc_spec("mpostapl", 0x23);
    p.cmdenv = uint32_t{b.add_gdt_segment(0x90000000u, 0xFFFF, false)} << 16 | 0x0010;
    add_app(b, k, p);
    auto f = list(b, "mpostapl");
    std::string line = vt::format("\t  (R)\t0023  appl    mpostapl    100    (command environment at %08lX not in the dump)\n",
                                  static_cast<unsigned long>(p.cmdenv));
    EXPECT_NE(f->out.str().find(line), std::string::npos) << f->out.str();
    EXPECT_TRUE(f->s.applprocess.has_value());
  }
}

TEST(DamagedLists, MemoryChainsAreBoundedAndCycleGuarded) {
  DumpBuilder b(DumpVariant::PagedController);
  KernelBuilder k(b);
  ProcSpec p = proc_spec("big", 0x60);
  p.cmdenv = k.cmdenv("C:/BIG.286");
  p.mem[0] = k.md_chain(std::vector<testkit::MdSpec>(morvik::kChainBound + 1, testkit::MdSpec{1, 0, 0}));
  uint32_t second = k.md_chain({{0x1000, 0, 0}});
  p.mem[3] = k.md_chain({{0x1000, 0, 0}});
  b.put_system32(p.mem[3], second);  // m_link
  b.put_system32(second, p.mem[3]);
  k.add_pd(p);
  auto f = list(b, "0");
  std::string out = f->out.str();
  EXPECT_NE(out.find("\n\t  Code:\t\t   4096 (1000h)"
                     "\n\t  *** Memory chain (code) of big: more than 4096 descriptors; the walk stops here."),
            std::string::npos)
      << out;
  std::string cycle = vt::format(
      "\t  Stack:           8192 (2000h)\n"
      "\t  *** Memory chain (stack) of big: the descriptor at %08lX comes round again; the walk stops here.\n",
      static_cast<unsigned long>(p.mem[3]));
  EXPECT_NE(out.find(cycle), std::string::npos) << out;
  EXPECT_NE(out.find("application(s):   0.012 Mb"), std::string::npos) << out;
}
