// The system communication areas: where, when and why the machine dumped.
#include <gtest/gtest.h>

#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/driver/dumpfunc_comd.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::report_body;
using morvik_test::report_to_file;
using morvik_test::Fixture;
using morvik_test::SessionFixture;
using morvik_test::summary;
using testkit::ccd_date;
using testkit::CcomdSpec;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::KernelBuilder;
using testkit::msecs;
using testkit::TcomdSpec;

namespace {

CcomdSpec terminal_ccomd() {
  CcomdSpec c;
  c.term = 5;
  c.store = 12;
  c.ccdu_store = 42;
  c.node = "C1";
  c.time = msecs(12, 34, 56);
  c.date = ccd_date(3, 15, 2009);
  c.reason = 33;
  c.totalmem = 64u << 20;
  c.tcc_type = 3;
  return c;
}

// getCCOMD on the screen over a dump with that CCOMD.
std::unique_ptr<Fixture> ccomd_screen(DumpVariant v, const CcomdSpec& c) {
  DumpBuilder b(v);
  KernelBuilder(b).ccomd(c);
  auto f = std::make_unique<Fixture>(b);
  morvik::getCCOMD(f->s);
  return f;
}

}  // namespace

TEST(Ccomd, StationTimeDateReasonAttachmentAndMemoryOnEveryNonMarraVariant) {
  const std::string terminal =
      "\n\tOS base level 0410, OS CD level B2\n"
      "\n\t Terminal 5 in Store 012 dumped at 12:34:56 on 3/15/2009\n"
      "\t  there was a SYSTEM program check.\n"
      "\n\tEthernet-attached TOLVA\n"
      "\n\tTotal memory:    64.000 Mb\n";
  const std::string controller =
      "\n\tOS base level 0410, OS CD level B2\n"
      "\n\t Controller C1 in Store 042 dumped at 12:34:56 on 3/15/2009\n"
      "\t  there was a SYSTEM program check.\n"
      "\n\tTotal memory:    64.000 Mb\n";
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal, DumpVariant::PagedController,
                 DumpVariant::ELController}) {
    SCOPED_TRACE(static_cast<int>(v));
    bool term = v == DumpVariant::PagedTerminal || v == DumpVariant::ELTerminal;
    auto f = ccomd_screen(v, terminal_ccomd());
    EXPECT_EQ(f->out.str(), term ? terminal : controller);
    EXPECT_EQ(f->s.SYSTEM, 1);
    EXPECT_EQ(f->s.termnum, term ? "005" : "");
    EXPECT_EQ(f->s.failingpos, 0);
  }
}

TEST(Ccomd, ReasonTextsAndTheSystemFlag) {
  struct Case {
    uint8_t code;
    const char* text;
    int16_t system;
  } cases[] = {{31, "the user pressed the dump button.", 0},
               {32, "terminal services requested a dump.", 0},
               {34, "a dump was requested from the controller.", 0},
               {35, "an application called OMKSERVE function 1.", 0},
               {37, "there was a file system hang.", 0},
               {38, "there was a system program check on an Boreal card.", 1},
               {39, "there was a system program check on an Boreal card.", 1},
               {40, "there was a system program check on an Boreal card.", 1},
               {41, "there was a system program check on an Boreal card.", 1},
               {42, "the operator requested a dump from the OCF menu.", 0},
               {43, "an application requested a dump via OMKSERVE.", 0},
               {44, "the user pressed CTRL-ALT-KEYPAD-MINUS.", 0},
               {45, "there was a SYSWBUG.", 1},
               {46, "there was a DRI panic call.", 1},
               {47, "there was a pipe system hang.", 0},
               {30, "gosh, I dunno why this sucker dumped!", 0},
               {48, "gosh, I dunno why this sucker dumped!", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    CcomdSpec cfg = terminal_ccomd();
    cfg.reason = c.code;
    auto f = ccomd_screen(DumpVariant::PagedController, cfg);
    std::string out = f->out.str();
    EXPECT_NE(out.find(std::string("2009\n\t  ") + c.text + "\n\n\tTotal"), std::string::npos) << out;
    EXPECT_EQ(f->s.SYSTEM, c.system);
  }
}

TEST(Ccomd, ApplicationProgramCheckNamesTheExceptionAndTheFailingAddress) {
  CcomdSpec cfg = terminal_ccomd();
  cfg.reason = 36;
  cfg.vec = 13;
  cfg.cs = 0x0067;
  cfg.eip = 0x0123;
  auto f = ccomd_screen(DumpVariant::PagedTerminal, cfg);
  EXPECT_EQ(f->out.str(),
            "\n\tOS base level 0410, OS CD level B2\n"
            "\n\t Terminal 5 in Store 012 dumped at 12:34:56 on 3/15/2009\n"
            "\t  there was an application program check.\n"
            "\n\tA General Protection Exception occurred at 67:0123                     \n"
            "\n\tEthernet-attached TOLVA\n"
            "\n\tTotal memory:    64.000 Mb\n");
  EXPECT_EQ(f->s.diedat, 0x00670123u);
  EXPECT_EQ(f->s.SYSTEM, 0);

  // A cs with bit 0 clear: the exception only, and no failing position.
  struct Case {
    uint8_t vec;
    const char* name;
  } names[] = {{0, "A Divide By Zero Error"}, {2, "NMI - Dump Button pressed"}, {6, "An Invalid Opcode"},
               {8, "A Double Fault"},         {12, "A Stack Exception"},        {14, "A Page Fault"},
               {7, "An unknown error"}};
  for (const auto& n : names) {
    cfg.vec = n.vec;
    cfg.cs = 0x0068;
    f = ccomd_screen(DumpVariant::ELController, cfg);
    std::string out = f->out.str();
    EXPECT_NE(out.find(std::string("check.\n\n\t") + n.name + "\n\n\tTotal"), std::string::npos) << out;
    EXPECT_EQ(f->s.failingpos, 0);
    EXPECT_EQ(f->s.diedat, 0u);
  }
}

TEST(Ccomd, FileReportPutsStationReasonAndExceptionIntoTheSummary) {
  CcomdSpec cfg = terminal_ccomd();
  cfg.reason = 36;
  cfg.vec = 14;
  cfg.cs = 0x0067;
  cfg.eip = 0x0123;
  DumpBuilder b(DumpVariant::PagedTerminal);
  KernelBuilder(b).ccomd(cfg);
  Fixture f(b);
  report_to_file(f);
  int32_t first = f.s.summaryPos;
  morvik::getCCOMD(f.s);
  EXPECT_EQ(summary(f), (std::vector<std::string>{" Terminal 5 in Store 012 dumped at 12:34:56 on 3/15/2009",
                                                   "    because there was an application program check.",
                                                   " A Page Fault occurred at 67:0123"}));
  EXPECT_EQ(report_body(f),
            "\n\tOS base level 0410, OS CD level B2\n"
            "\n\tEthernet-attached TOLVA\n"
            "\n\tTotal memory:    64.000 Mb\n");
  EXPECT_EQ(f.s.summaryPos, first + 3 * 80);
  // The blanks after the address wait for the failing process's name.
  EXPECT_EQ(f.s.failingpos, first + 160 + 33);
}

TEST(Ccomd, AttachmentTypes) {
  struct Case {
    uint16_t type;
    uint16_t machine;
    uint8_t sbi0;
    const char* text;
  } cases[] = {{1, 0x8003, 0, "Loop attached MARRA"},
               {1, 0x8004, 0, "Loop attached DORVA"},
               {1, 0x903F, 0, "Loop attached TOLVA"},
               {1, 0x9040, 0, "Loop attached"},
               {2, 0, 0, "Token Ring TOLVA"},
               {4, 0, 0, "Ethernet-attached TOLVA"},
               {5, 0, 0, "Ethernet-attached SENNA"},
               {7, 0, 0, "Ethernet-attached SENNA"},
               {6, 0, 0, "RF SENNA"},
               {8, 0, 0, "PCI Token Ring"},
               {9, 0, 0, "Ethernet-attached Tindra"},
               {10, 0, 0xFC, "Wireless Tindra"},
               {10, 0, 0xFB, "Wireless SENNA"},
               {11, 0, 0, "Ethernet SENNA"},
               {12, 0, 0, "Ethernet SENNA"},
               {13, 0, 0, "dunno what this puppy is!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    DumpBuilder b(DumpVariant::ELTerminal);
    KernelBuilder k(b);
    CcomdSpec cfg = terminal_ccomd();
    cfg.tcc_type = c.type;
    cfg.sbi0 = c.sbi0;
    k.ccomd(cfg);
    k.machine_type(c.machine);
    Fixture f(b);
    morvik::getMachineType(f.s);
    EXPECT_EQ(f.s.machine_type, c.machine);
    morvik::getCCOMD(f.s);
    EXPECT_NE(f.out.str().find(std::string("check.\n\n\t") + c.text + "\n\n\tTotal"), std::string::npos)
        << f.out.str();
  }
}

TEST(Ccomd, MissingSymbolsChangeNothingAndMemoryNotInTheDumpReadsAsZero) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  Fixture f(b);
  morvik::getMachineType(f.s);
  morvik::getCCOMD(f.s);
  morvik::getVELAtcomd(f.s);
  EXPECT_EQ(f.out.str(), "");
  EXPECT_EQ(f.s.machine_type, 0);

  // A CCOMD in a segment whose memory was not dumped: the record stays zero,
  // the run goes on. (An address beyond the GDT ends the run: see the
  // damaged-dump runs.)
  DumpBuilder absent(DumpVariant::PagedTerminal);
  uint16_t seg = absent.add_gdt_segment(0x90000000u, 0xFFFF, false);
  absent.add_kernel_symbol("OMKCCOMD", testkit::le32_bytes(uint32_t{seg} << 16 | 0x0010));
  Fixture g(absent);
  EXPECT_EQ(g.status_of([&] { morvik::getCCOMD(g.s); }), SessionFixture::kReturned);
  EXPECT_NE(g.out.str().find(" Terminal 0 in Store 000 dumped at 00:00:00 on 0/0/0\n"), std::string::npos);
}

TEST(Vtcomd, Mod2TerminalNumber) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal}) {
    for (uint16_t mod2 : {0, 7}) {
      DumpBuilder b(v);
      TcomdSpec t;
      t.mod2 = mod2;
      KernelBuilder(b).tcomd(t);
      Fixture f(b);
      morvik::getVELAtcomd(f.s);
      EXPECT_EQ(f.out.str(), mod2 ? "\n\tMod2 terminal number:  7\n" : "");
    }
  }
}

namespace {

TcomdSpec marra_tcomd() {
  TcomdSpec t;
  t.term = 17;
  t.store = 3;
  t.mod2 = 18;
  t.reason = 36;
  t.time = msecs(12, 34, 56);
  t.date = ccd_date(3, 15, 2009);
  t.vec = 13;
  t.ax = 0x0a0a;
  t.bx = 0x0b0b;
  t.cx = 0x0c0c;
  t.dx = 0x0d0d;
  t.sp = 0x1f00;
  t.bp = 0x1f10;
  t.si = 0x5151;
  t.di = 0xd1d1;
  t.cs = 0x006f;
  t.ds = 0x0077;
  t.es = 0x0077;
  t.ss = 0x007f;
  t.totalmem = 0x800000;
  t.mfail = 0x006F0123;
  return t;
}

const char* const kMarraRegisters =
    "\n\tTotal memory in the terminal:  800000 bytes = 8 Meg\n"
    "\n\tOMKTCOMD Registers:\n\n"
    "\t\tAX 0a0a\tCS 006f\tBP 1f10\n"
    "\t\tBX 0b0b\tSS 007f\tSP 1f00\n"
    "\t\tCX 0c0c\tES 0077\tDI d1d1\n"
    "\t\tDX 0d0d\tDS 0077\tSI 5151\n"
    "\n\tThe failing instruction (CS:IP):  6f:0123\n";

}  // namespace

TEST(Tcomd, MarraTerminalOnTheScreen) {
  DumpBuilder b(DumpVariant::MarraTerminal);
  KernelBuilder(b).tcomd(marra_tcomd());
  Fixture f(b);
  morvik::getTCOMD(f.s);
  EXPECT_EQ(f.out.str(), std::string("\n\n        Terminal 17 in store 3 dumped at 12:34:56 on 3/15/2009 because"
                                     "\n\t\t  there was an application program check.\n"
                                     "\n\tThis is a MARRA terminal.\n"
                                     "\tThe MOD2 is terminal 18\n"
                                     "A General Protection Exception\n\n"
                                     " This is a MARRA terminal.  The MOD2 is terminal 18.") +
                             kMarraRegisters);
  EXPECT_EQ(f.s.tcomd.TCD_mfail, 0x006F0123u);
}

TEST(Tcomd, MarraTerminalInAFileReport) {
  for (uint8_t reason : {36, 99}) {
    SCOPED_TRACE(reason);
    TcomdSpec t = marra_tcomd();
    t.reason = reason;
    t.mod2 = reason == 36 ? 18 : 0;
    DumpBuilder b(DumpVariant::MarraTerminal);
    KernelBuilder(b).tcomd(t);
    Fixture f(b);
    report_to_file(f);
    int32_t first = f.s.summaryPos;
    morvik::getTCOMD(f.s);
    if (reason == 36) {
      EXPECT_EQ(summary(f), (std::vector<std::string>{" Terminal 17 in store 3 dumped at 12:34:56 on 3/15/2009 because",
                                                       "   there was an application program check.",
                                                       " A General Protection Exception occurred",
                                                       " This is a MARRA terminal.  The MOD2 is terminal 18."}));
      EXPECT_EQ(f.s.failingpos, first + 160 + 40);
    } else {
      EXPECT_EQ(summary(f), (std::vector<std::string>{" Terminal 17 in store 3 dumped at 12:34:56 on 3/15/2009 because",
                                                       "   ...gosh, I dunno why this sucker dumped!",
                                                       " This is a MARRA terminal.  There is no MOD2 terminal."}));
      EXPECT_EQ(f.s.failingpos, 0);
    }
    EXPECT_EQ(report_body(f), kMarraRegisters);
  }
}

namespace {

// The dump offset of the system page-table entry of a linear address (paged).
uint32_t system_pte_offset(const DumpBuilder& b, uint32_t linear) {
  uint32_t pt = vt::le32(b.get_phys(b.ptd_addr() + (linear >> 22) * 4, 4).data()) & 0xFFFFF000u;
  return pt + ((linear >> 12) & 0x3FF) * 4;
}

// The system linear address of a selector:offset, from the GDT in the dump.
uint32_t system_linear(const DumpBuilder& b, uint32_t far) {
  uint32_t desc = b.gdt_linear() + 8 * (far >> 19);
  uint32_t frame = vt::le32(b.get_phys(system_pte_offset(b, desc), 4).data()) & 0xFFFFF000u;
  testkit::Bytes d = b.get_phys(frame + (desc & 0xFFF), 8);
  return (d[2] | d[3] << 8 | d[4] << 16 | uint32_t{d[7]} << 24) + (far & 0xFFFF);
}

}  // namespace

TEST(SystemReads, ARecordAcrossAPageWhoseFrameKeepsBits8To11) {
  // 256 bytes from 0x80 before a page end; the first page's table entry
  // names a frame 0x100 past a 4 KB boundary (entry & 0xFFFFFF00). The
  // first 0x80 bytes come from that frame, the rest from the next page's.
  DumpBuilder b(DumpVariant::PagedController);
  uint32_t first = b.alloc_system(4);
  b.alloc_system((0xF80 - ((first & 0xFFF) + 4)) & 0xFFF);
  uint32_t far = b.alloc_system(0x100);
  ASSERT_EQ(far & 0xFFF, 0xF80u);
  testkit::Bytes pattern(0x100);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i);
  b.put_system(far, pattern);

  uint32_t pte = system_pte_offset(b, system_linear(b, far));
  uint32_t old_frame = vt::le32(b.get_phys(pte, 4).data()) & 0xFFFFF000u;
  uint32_t new_frame = static_cast<uint32_t>((b.size() + 0xFFF) & ~uint64_t{0xFFF}) + 0x100;
  b.put_phys(new_frame, b.get_phys(old_frame, 0x1000));
  b.put_phys32(pte, new_frame | 0x67);
  b.set_size(new_frame + 0x2000);  // what follows the moved page reads as zeros

  Fixture f(b);
  unsigned char got[0x100] = {};
  EXPECT_EQ(morvik::read_system(f.s, far, 0, got, sizeof got), sizeof got);
  EXPECT_EQ(testkit::Bytes(got, got + sizeof got), pattern);
}
