// The details of the selected process: registers of both kernel widths,
// stack notes, crash location, events and state flags.
#include <gtest/gtest.h>

#include "common/le.h"
#include "morvik/driver/morvik_procs.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::add_app;
using morvik_test::App;
using morvik_test::Fixture;
using morvik_test::load_selected_ldt;
using morvik_test::report_body;
using morvik_test::report_to_file;
using morvik_test::SessionFixture;
using morvik_test::summary;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::KernelBuilder;
using testkit::ProcSpec;
using testkit::Regs;

namespace {

ProcSpec mpostapl(uint16_t flag = 0, uint32_t evbits = 0) {
  ProcSpec p;
  p.name = "mpostapl";
  p.pid = 0x23;
  p.flag = flag;
  p.evbits = evbits;
  return p;
}

Regs regs() {
  Regs r;
  r.ip = 0x123;
  r.ax = 0x1111;
  r.cx = 0x3333;
  r.dx = 0x4444;
  r.bx = 0x2222;
  r.sp = 0x1f00;
  r.bp = 0x1f10;
  r.si = 0x6666;
  r.di = 0x7777;
  r.es = 0x6f;
  r.cs = 0x67;  // the builder's first three slots: code, data, stack
  r.ss = 0x77;
  r.ds = 0x6f;
  return r;
}

// The session after the process list chose "mpostapl" and its LDT was
// loaded; output and error streams cleared.
std::unique_ptr<Fixture> selected(const DumpBuilder& b, bool file = false) {
  auto f = std::make_unique<Fixture>(b);
  f->s.applname = "mpostapl";
  f->s.APPL_NAME = "MPOSTAPL";
  morvik::getprocesslist(f->s);
  EXPECT_TRUE(f->s.applprocess.has_value());
  load_selected_ldt(*f);
  if (file) report_to_file(*f);
  f->out.str("");
  f->err.str("");
  return f;
}

const char* const kRegs386 =
    "\t Application registers:  \n\n"
    "\t     AX 00001111     CS 00000067     BP 00001f10\n"
    "\t     BX 00002222     SS 00000077     SP 00001f00\n"
    "\t     CX 00003333     ES 0000006f     DI 00007777\n"
    "\t     DX 00004444     DS 0000006f     SI 00006666\n"
    "\t     IP 00000123\n\n";

const char* const kNoEvents = "\t There are no outstanding events.\n";

// The text after the register block.
std::string after_registers(const std::string& out) {
  size_t at = out.find("\t     IP ");
  return at == std::string::npos ? out : out.substr(out.find('\n', at) + 1);
}

}  // namespace

TEST(ProcessDetails, ThirtyTwoBitKernels) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal, DumpVariant::PagedController,
                 DumpVariant::ELController}) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    KernelBuilder k(b);
    App app = add_app(b, k, mpostapl(), regs());
    auto f = selected(b);
    EXPECT_EQ(morvik::processdetails(f->s), 0);
    if (b.terminal())
      EXPECT_EQ(f->out.str(), std::string("\n SUB Details of terminal application mpostapl\n\n") + kRegs386 + kNoEvents);
    else
      EXPECT_EQ(f->out.str(), std::string("\n SUB Details of mpostapl:\n\n") + kRegs386 + kNoEvents +
                                  "\n\t mpostapl is linked noshare\n");
    morvik::Session& s = f->s;
    EXPECT_EQ(s.DS_selector, 0x6F);
    EXPECT_EQ(s.DS_offset, b.process_dump_offset(app.proc, 0x006F0000));
    EXPECT_EQ(s.CS_selector, 0x67);
    EXPECT_EQ(s.CS_offset, b.process_dump_offset(app.proc, 0x00670000));
    EXPECT_EQ(s.SS_selector, 0x77);
    EXPECT_EQ(s.SP, 0x1f00);
    EXPECT_EQ(s.BP, 0x1f10);
    EXPECT_EQ(s.CS, 0x67);
    EXPECT_EQ(s.CX, 0x3333);
    EXPECT_EQ(s.regsOK, 1);
    EXPECT_EQ(f->err.str(), "");
  }
}

TEST(ProcessDetails, MarraKernelRegistersAndCodeBlocks) {
  DumpBuilder b(DumpVariant::MarraTerminal);
  KernelBuilder k(b);
  ProcSpec p = mpostapl();
  // Seven code blocks: the first six are kept; the last one is the code segment.
  std::vector<testkit::MdSpec> code;
  for (uint32_t sel : {0x7Fu, 0x87u, 0x8Fu, 0x97u, 0x9Fu, 0xA7u, 0x67u}) code.push_back({0x100, sel << 16, 0});
  p.mem[0] = k.md_chain(code);
  App app = add_app(b, k, p, regs());
  auto f = selected(b);
  EXPECT_EQ(morvik::processdetails(f->s), 0);
  EXPECT_EQ(f->out.str(), std::string("\n SUB Details of terminal application mpostapl\n\n"
                                      "\t  Application registers:  \n\n"
                                      "\t     AX 1111     CS 0067     BP 1f10\n"
                                      "\t     BX 2222     SS 0077     SP 1f00\n"
                                      "\t     CX 3333     ES 006f     DI 7777\n"
                                      "\t     DX 4444     DS 006f     SI 6666\n"
                                      "\t     IP 0123\n") +
                              kNoEvents);
  EXPECT_EQ(f->s.numchunks, 6);
  EXPECT_EQ(f->s.code_block_286, (std::array<uint16_t, 6>{0x7F, 0x87, 0x8F, 0x97, 0x9F, 0xA7}));
  EXPECT_EQ(f->s.CS_selector, 0x67);
  EXPECT_EQ(f->s.CS_offset, b.process_dump_offset(app.proc, 0x00670000));
  EXPECT_EQ(f->s.DS_offset, b.process_dump_offset(app.proc, 0x006F0000));
}

TEST(ProcessDetails, EventMasksAndTheirSummaryLines) {
  struct Case {
    uint32_t mask;
    const char* line;
    const char* summary;
    bool out_of_events;
  } cases[] = {
      {0x80000000u, "\t Event mask 80000000H:  1 outstanding event(s)\n", " mpostapl's event bits look OK.", false},
      {0x7FFFFFFFu, "\t Event mask 7fffffffH:  31 outstanding event(s) <<<<< !!!!!!\n", " mpostapl is out of events!!!",
       true},
      {0xFFFFFFFFu, "\t Event mask ffffffffH:  32 outstanding event(s)\n", " mpostapl has many outstanding events.",
       false},
      {0x000007FFu, "\t Event mask 000007ffH:  11 outstanding event(s)\n", " mpostapl has many outstanding events.",
       false},
      {0x000003FFu, "\t Event mask 000003ffH:  10 outstanding event(s)\n", " mpostapl's event bits look OK.", false},
      {0, "\t There are no outstanding events.\n", " mpostapl's event bits look OK.", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    DumpBuilder b(DumpVariant::PagedTerminal);
    KernelBuilder k(b);
    add_app(b, k, mpostapl(0, c.mask), regs());
    auto f = selected(b, true);
    EXPECT_EQ(morvik::processdetails(f->s), 0);
    EXPECT_EQ(report_body(*f), std::string("\n SUB Details of terminal application mpostapl\n\n") + kRegs386 + c.line);
    EXPECT_EQ(summary(*f), std::vector<std::string>{c.summary});
    EXPECT_EQ(f->err.str(), std::string("\n  Application details....(1)..(2)..(3)..(4)..(5)..(6).") +
                                (c.out_of_events ? "\tMPOSTAPL IS OUT OF EVENTS!!!\n" : "") + ".\n");
  }
}

TEST(ProcessDetails, NotCompletelyLoaded) {
  DumpBuilder b(DumpVariant::ELTerminal);
  KernelBuilder k(b);
  Regs r = regs();
  r.cs = r.ds = 0;
  add_app(b, k, mpostapl(), r);
  auto f = selected(b, true);
  EXPECT_EQ(morvik::processdetails(f->s), -1);
  EXPECT_TRUE(report_body(*f).ends_with(
      "\t     IP 00000123\n\n\t This process is not completely loaded and is not executing.\n\n"));
  EXPECT_TRUE(f->err.str().ends_with("\n\n       Process mpostapl is not executing... it's not completely loaded.\n\n"));

  // A register save area that is not in the dump fails the details too.
  for (auto v : {DumpVariant::MarraTerminal, DumpVariant::PagedController}) {
    DumpBuilder bad(v);
    KernelBuilder kb(bad);
    ProcSpec p = mpostapl();
    p.regsav = uint32_t{bad.add_gdt_segment(bad.marra() ? 0x00F00000u : 0x90000000u, 0xFFFF, false)} << 16;
    add_app(bad, kb, p);
    auto g = selected(bad);
    EXPECT_EQ(morvik::processdetails(g->s), -1);
    EXPECT_TRUE(g->out.str().ends_with(
        vt::format("\t The register save area at %08lX is not in the dump.\n\n", static_cast<unsigned long>(p.regsav))))
        << g->out.str();
  }
}

TEST(ProcessDetails, SystemRegistersAndTheStackFromTheUserDataArea) {
  struct Case {
    int16_t system;
    bool shared;
    const char* tail;
    int16_t regsOK;
    uint16_t ss, sp, bp;
  } cases[] = {
      {1, false,
       "\t Egad!  These are SYSTEM registers, not application registers!!\n\n"
       "\t The stack selector is actually 00000077, and SP is 00001ff0\n\n",
       0, 0x77, 0x1ff0, 0},
      {1, true, "\t The stack selector is actually 00000077, and SP is 00001ff0\n\n", 1, 0x77, 0x1ff0, 0},
      {0, false, "\t The stack selector is invalid.\n", 1, 0, 0x0100, 0x0200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system * 2 + c.shared);
    DumpBuilder b(DumpVariant::PagedController);
    KernelBuilder k(b);
    uint16_t kcode = b.add_gdt_segment(0x1000, 0xFFFF, true, 3);
    uint16_t kdata = b.add_gdt_segment(0x1000, 0xFFFF, false, 3);
    Regs r = regs();
    r.cs = kcode;
    r.ss = kdata;
    r.sp = 0x0100;
    r.bp = 0x0200;
    ProcSpec p = mpostapl();
    p.uda = k.uda(0x77, 0x1ff0);
    p.srtl = c.shared ? 0x1234 : 0;
    add_app(b, k, p, r);
    auto f = selected(b);
    f->s.SYSTEM = c.system;
    EXPECT_EQ(morvik::processdetails(f->s), 0);
    EXPECT_EQ(after_registers(f->out.str()),
              std::string("\n") + c.tail + kNoEvents + (c.shared ? "" : "\n\t mpostapl is linked noshare\n"));
    EXPECT_EQ(f->s.regsOK, c.regsOK);
    EXPECT_EQ(f->s.SS_selector, c.ss ? c.ss : kdata);
    EXPECT_EQ(f->s.SP, c.sp);
    EXPECT_EQ(f->s.BP, c.bp);
  }
}

TEST(ProcessDetails, MediumModelFull64KStackAndMetaWare) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  Regs r = regs();
  r.ds = r.ss;
  App app = add_app(b, k, mpostapl(), r, 0x10000);
  b.put(app.proc, 0x00770000, {'M', 'e', 't', 'a', 'W', 'a', 'r', 'e'});
  auto f = selected(b);
  EXPECT_EQ(morvik::processdetails(f->s), 0);
  EXPECT_EQ(after_registers(f->out.str()),
            std::string("\n\t This appears to be a medium memory model application.\n\n"
                        "         Note:  the application stack segment is a full 64K bytes.\n"
                        "         If the maximum stack size is required, it is better to use\n"
                        "         the [STACK[MAX[ffe]] link option to create a stack which is\n"
                        "         16 bytes less than 64K and therefore does not permit wrapping.\n\n"
                        "\t MPOSTAPL is linked with Metaware HighC runtimes\n\n") +
                kNoEvents);
  EXPECT_EQ(f->s.MetaWare, 1);
}

TEST(ProcessDetails, CrashLocationOfTheCurrentProcess) {
  struct Case {
    DumpVariant v;
    unsigned char opcode;
    bool current;
    const char* tail;
  } cases[] = {
      // A trap at a HLT: no supervisor call line.
      {DumpVariant::PagedTerminal, 0xF4, true,
       "\t The application crashed at, \n\t\topcode HLT, probably a trap\n\n\t There are no outstanding events.\n"},
      {DumpVariant::ELTerminal, 0x90, true,
       "\t The application crashed at\n\n\t There are no outstanding events.\n\n\t mpostapl is in a supervisor call"},
      {DumpVariant::MarraTerminal, 0xF4, true,
       "\t The application crashed at\n\n\t There are no outstanding events.\n\n\t mpostapl is in a supervisor call"},
      {DumpVariant::PagedTerminal, 0xF4, false,
       "\t There are no outstanding events.\n\n\t mpostapl is in a supervisor call"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.v));
    DumpBuilder b(c.v);
    KernelBuilder k(b);
    App app = add_app(b, k, mpostapl(0x0100), regs());
    b.put(app.proc, 0x00670123, {c.opcode});
    if (c.current) k.set_current(app.pd);
    auto f = selected(b);
    testkit::write_text(f->dir.file("app.sym"), "0A10 KEY\n");
    f->s.symfile.open(f->dir.file("app.sym"));
    f->s.mcpc.cs = 0x67;
    f->s.diedat = 0x00670123;
    f->s.tcomd.TCD_mreg.cs = 0x67;
    f->s.tcomd.TCD_mfail = 0x00670123;
    EXPECT_EQ(morvik::processdetails(f->s), 0);
    std::string tail = after_registers(f->out.str());
    if (tail.starts_with("\n")) tail.erase(0, 1);  // the blank line of the 32-bit register block
    EXPECT_EQ(tail, c.tail);
  }
}

TEST(ProcessDetails, CrashInTheSharedRuntimesOfAController) {
  DumpBuilder b(DumpVariant::ELController);
  KernelBuilder k(b);
  uint16_t kcode = b.add_gdt_segment(0x1000, 0xFFFF, true, 3);
  add_app(b, k, mpostapl(), regs());
  auto f = selected(b);
  f->s.mcpc.cs = kcode;
  f->s.mcpc.eip = 0x00014567;
  EXPECT_EQ(morvik::processdetails(f->s), 0);
  EXPECT_EQ(after_registers(f->out.str()),
            vt::format("\n\t The application crashed at %x:4567 in the shared runtimes\n\n", kcode) + kNoEvents +
                "\n\t mpostapl is linked noshare\n");
}

TEST(ProcessDetails, ExtendedMemoryManagerInTheSymFile) {
  // Words are taken in pairs: only a second word names the manager.
  struct Case {
    const char* sym;
    bool found;
  } cases[] = {{"0A10 KEY\n0B20 OMKMEMGR\n", true}, {"0A10 KEY\n0B20 OMKMEMGRX\nOMKMEMGR\n", false}};
  for (const auto& [sym, found] : cases) {
    DumpBuilder b(DumpVariant::PagedTerminal);
    KernelBuilder k(b);
    add_app(b, k, mpostapl(), regs());
    auto f = selected(b);
    testkit::write_text(f->dir.file("app.sym"), sym);
    f->s.symfile.open(f->dir.file("app.sym"));
    EXPECT_EQ(morvik::processdetails(f->s), 0);
    EXPECT_EQ(f->out.str().find("\n SUB Details of terminal application mpostapl\n\n"
                                "\t This application uses extended memory management (OMKMEM)\n\n\t Application"),
              found ? 0 : std::string::npos);
  }
}

TEST(ProcessDetails, NoCodeAndNoStaticData) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  int p = b.add_process();
  ProcSpec cfg = k.for_process(p);
  cfg.name = "mpostapl";
  cfg.cmdenv = k.cmdenv("C:/M.286");
  cfg.regsav = k.regsav386(regs());
  k.add_pd(cfg);
  auto f = selected(b);
  EXPECT_EQ(morvik::processdetails(f->s), 0);
  EXPECT_TRUE(f->out.str().starts_with("\n SUB Details of terminal application mpostapl\n\n"
                                       "\t There is no static data associated with this application\n\n"
                                       "\tThere is no code loaded for this application\n"
                                       "\t Application registers:  \n\n"))
      << f->out.str();
}

// A chain that comes round again has no last descriptor: the data selector
// is not taken from whichever descriptor the walk stopped at.
TEST(ProcessDetails, ACutStaticDataChainGivesNoDataSegment) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder k(b);
  ProcSpec cfg = mpostapl();
  App app = add_app(b, k, cfg, regs());
  uint32_t head = k.md_chain({{0x1000, uint32_t{app.data} << 16, 0}, {0x1000, uint32_t{app.data} << 16, 0}});
  uint32_t second = vt::le32(b.get_phys(b.system_dump_offset(head), 4).data());
  b.put_system32(second, head);  // m_link back to the first
  b.put_system32(app.pd + 180, head);  // the static-data chain head
  auto f = selected(b);
  EXPECT_EQ(morvik::processdetails(f->s), 0);
  std::string note = vt::format(
      "\t *** Memory chain (static data) of mpostapl: the descriptor at %08lX comes round again; the walk stops "
      "here.\n",
      static_cast<unsigned long>(head));
  EXPECT_NE(f->out.str().find(note), std::string::npos) << f->out.str();
  EXPECT_EQ(f->s.DS_selector, 0);
  EXPECT_EQ(f->s.DS_offset, 0u);
}

TEST(ProcessDetails, StateFlags) {
  const std::string header = "\n SUB Details of terminal application mpostapl\n\n";
  struct Case {
    uint16_t flag;
    int status;
    std::string out;
  } cases[] = {
      {0x0004, 0, header + kRegs386 + kNoEvents + "\n\t mpostapl is in an async error routine\n"},
      {0x8000, 0, header + kRegs386 + kNoEvents + "\n\t Running a termevent swi\n"},
      {0x4000, 0, header + kRegs386 + kNoEvents + "\n\t Process mpostapl is aborting.\n"},
      {0x4800, 0, header + "\t  This process has terminated... it is a shared code holder.\n\n"},
      {0x0800, 1, header + kRegs386 + kNoEvents + "\n\t Process mpostapl is a shared code holder.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    DumpBuilder b(DumpVariant::ELTerminal);
    KernelBuilder k(b);
    add_app(b, k, mpostapl(c.flag), regs());
    auto f = selected(b);
    int ret = -2;
    int status = f->status_of([&] { ret = morvik::processdetails(f->s); });
    if (c.status) {
      EXPECT_EQ(status, 0);  // the run ends
    } else {
      EXPECT_EQ(status, SessionFixture::kReturned);
      EXPECT_EQ(ret, 0);
    }
    EXPECT_EQ(f->out.str(), c.out);
  }
}

TEST(ProcessDetails, RuntimeLevelLine) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  Fixture f(b);
  morvik::runtime_level_line(f.s, 0, "");
  EXPECT_EQ(f.s.cbrt, 41);
  EXPECT_EQ(f.s.MAXFN, 99);
  morvik::runtime_level_line(f.s, 47, "05/26/10");
  EXPECT_EQ(f.s.MAXFN, 99);
  morvik::runtime_level_line(f.s, 48, "05/26/10");
  EXPECT_EQ(f.s.cbrt, 48);
  EXPECT_EQ(f.s.MAXFN, 104);
  EXPECT_EQ(f.out.str(),
            "\n\t CBASIC runtimes dated 05/26/10, version 47\n\n\n\t CBASIC runtimes dated 05/26/10, version 48\n\n");
}

TEST(DeviceName, Table) {
  const char* const pairs[][2] = {
      {"OMKPIA", "ANDISPLAY:"}, {"OMKPID", "CDRAWER:"},     {"OMKPIC", "COIN:   "},      {"OMKPIT", "TOTRET: "},
      {"OMKPII", "IOPROC: "},   {"OMKPIM", "MSR:    "},     {"OMKPIN", "PINPAD: "},      {"OMKPIPR", "CR:     "},
      {"OMKPIPJ", "SJ:     "},  {"OMKPIPD", "DI:     "},    {"OMKPIW", "SCALE:  "},      {"OMKPIK", "TONE:   "},
      {"OMKPIV", "VDISPLAY:"},  {"OMKPIA2", "ANDISPLAY2:"}, {"OMKPIF", "SDISPLAY:"},     {"OMKPIV2", "VDISPLAY2:"},
      {"OMKPIA4", "ANDISPLAY3:"}, {"OMKPIZ", "TOUCH:  "},   {"OMKPIR1", "SERIAL1 "},     {"OMKPIR2", "SERIAL2 "},
      {"OMKPIR3", "SERIAL3 "},  {"OMKPIR4", "SERIAL4 "},    {"OMKPIA3", "screwy name!"}, {"omkpia", "screwy name!"},
      {"", "screwy name!"}};
  for (const auto& p : pairs) EXPECT_STREQ(morvik::device_name(p[0]), p[1]) << p[0];
}
