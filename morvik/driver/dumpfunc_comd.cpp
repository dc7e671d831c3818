// The system communication areas (CCOMD, TCOMD) and the processor state at
// the dump: the first lines of every report and the summary's opening lines.
#include "morvik/driver/dumpfunc_comd.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/report/doarray.h"

namespace morvik {

namespace {

constexpr uint32_t kMarraTcomdOffset = 1024;

struct DumpTime {
  int hours, minutes, seconds;
};

// Milliseconds since midnight.
DumpTime dump_time(uint32_t t) {
  return {static_cast<int>(t / 3600000u), static_cast<int>((t / 1000u % 3600u) / 60u),
          static_cast<int>(t / 1000u % 60u)};
}

// "on m/d/yyyy": byte 2, byte 3, then the 16-bit value in bytes 0-1.
void print_date(Session& s, uint32_t date) {
  s.outfile.print("on %d/", static_cast<int>((date >> 16) & 0xFF));
  s.outfile.print("%d/", static_cast<int>(date >> 24));
  s.outfile.print("%d", static_cast<int>(date & 0xFFFF));
}

void to_summary(Session& s, int32_t pos) { seek_summary(s, pos); }

void next_summary(Session& s, int32_t lines = 1) {
  if (s.outfile.is_file()) s.summaryPos += 80 * lines;
}

void back_to_end(Session& s) {
  if (s.outfile.is_file()) s.outfile.seek_end();
}

struct Reason {
  const char* text;
  bool system;
};

Reason dump_reason(uint8_t code) {
  switch (code) {
    case 31: return {"the user pressed the dump button.", false};
    case 32: return {"terminal services requested a dump.", false};
    case 33: return {"there was a SYSTEM program check.", true};
    case 34: return {"a dump was requested from the controller.", false};
    case 35: return {"an application called OMKSERVE function 1.", false};
    case 36: return {"there was an application program check.", false};
    case 37: return {"there was a file system hang.", false};
    case 38:
    case 39:
    case 40:
    case 41: return {"there was a system program check on an Boreal card.", true};
    case 42: return {"the operator requested a dump from the OCF menu.", false};
    case 43: return {"an application requested a dump via OMKSERVE.", false};
    case 44: return {"the user pressed CTRL-ALT-KEYPAD-MINUS.", false};
    case 45: return {"there was a SYSWBUG.", true};
    case 46: return {"there was a DRI panic call.", true};
    case 47: return {"there was a pipe system hang.", false};
    default: return {"gosh, I dunno why this sucker dumped!", false};
  }
}

const char* exception_name(uint8_t vec) {
  switch (vec) {
    case 0: return "A Divide By Zero Error";
    case 2: return "NMI - Dump Button pressed";
    case 6: return "An Invalid Opcode";
    case 8: return "A Double Fault";
    case 12: return "A Stack Exception";
    case 13: return "A General Protection Exception";
    case 14: return "A Page Fault";
    default: return "An unknown error";
  }
}

const char* attachment_type(uint16_t type, uint16_t machine_type, uint8_t sbi0) {
  switch (type) {
    case 1:
      if (machine_type == 0x8003) return "Loop attached MARRA";
      if (machine_type == 0x8004) return "Loop attached DORVA";
      if (machine_type < 0x9040) return "Loop attached TOLVA";
      return "Loop attached";
    case 2: return "Token Ring TOLVA";
    case 3:
    case 4: return "Ethernet-attached TOLVA";
    case 5:
    case 7: return "Ethernet-attached SENNA";
    case 6: return "RF SENNA";
    case 8: return "PCI Token Ring";
    case 9: return "Ethernet-attached Tindra";
    case 10: return sbi0 == 0xFC ? "Wireless Tindra" : "Wireless SENNA";
    case 11:
    case 12: return "Ethernet SENNA";
    default: return "dunno what this puppy is!";
  }
}

const char* marra_reason(uint8_t code) {
  switch (code) {
    case 31: return "  the user pressed the dump button.";
    case 32: return "  terminal services requested a dump.";
    case 33: return "  of a system program check.";
    case 34: return "  a dump was requested from the controller.";
    case 35: return "  a dump was requested from terminal services.";
    case 36: return "  there was an application program check.";
    default: return "  ...gosh, I dunno why this sucker dumped!";
  }
}

const char* marra_exception_name(uint8_t vec) {
  switch (vec) {
    case 0: return "A Divide By Zero Error";
    case 2: return "NMI - Dump Button Was Pressed";
    case 6: return "Invalid Opcode";
    case 8: return "Double Fault";
    case 12: return "A Stack Exception";
    case 13: return "A General Protection Exception";
    case 14: return "Page Fault";
    default: return "Unknown";
  }
}

// The 4-byte system address stored at a kernel symbol, if there is one.
std::optional<uint32_t> kernel_pointer(Session& s, std::string_view name) {
  auto at = kernel_symbol_offset(s, name);
  if (!at) return std::nullopt;
  uint32_t addr = 0;
  s.dumpfile.read_u32_at(*at, addr);  // a short read leaves it 0: nothing is read through it
  return addr;
}

}  // namespace

void getMachineType(Session& s) {
  auto at = kernel_symbol_offset(s, "VCSM_machine");
  uint16_t v;
  if (at && s.dumpfile.read_u16_at(*at, v)) s.machine_type = v;
}

void getCCOMD(Session& s) {
  auto addr = kernel_pointer(s, "OMKCCOMD");
  if (!addr) return;
  // Reads that fall outside the dump leave the records as read (zeros).
  unsigned char rec[CCOMD_s::kSize] = {};
  read_system(s, *addr, 0, rec, sizeof rec);
  s.ccomd = decode_CCOMD_s(rec);
  const CCOMD_s& c = s.ccomd;

  unsigned char levels[12] = {};
  read_system(s, c.CCD_loadable_comm, 77, levels, sizeof levels);
  s.outfile.print("\n\tOS base level %4.4s, OS CD level %s\n", bounded_text(levels, 4).c_str(),
                  bounded_text(levels + 4, 8).c_str());

  unsigned char ms[4] = {};
  read_system(s, c.CCD_msecm, 0, ms, sizeof ms);
  DumpTime t = dump_time(vt::le32(ms));
  if (s.outfile.is_file()) {
    to_summary(s, s.summaryPos);
    next_summary(s);
  } else {
    s.outfile.write("\n\t");
  }
  if (s.space.termdump) {
    s.outfile.print(" Terminal %d in Store %03d dumped at %02d:%02d:%02d ", c.CCD_BOOTSTRAP_TERM_ADDR,
                    c.CCD_BOOTSTRAP_STORE_ID, t.hours, t.minutes, t.seconds);
    s.termnum = vt::format("%03d", c.CCD_BOOTSTRAP_TERM_ADDR);
  } else {
    s.outfile.print(" Controller %c%c in Store %03d dumped at %02d:%02d:%02d ", static_cast<char>(c.CCD_node & 0xFF),
                    static_cast<char>((c.CCD_node >> 8) & 0xFF), vt::le16(c.CCDU + 6), t.hours, t.minutes,
                    t.seconds);
  }
  print_date(s, c.CCD_date);

  Reason r = dump_reason(c.CCD_dumreason);
  if (r.system) s.SYSTEM = 1;
  if (s.outfile.is_file()) {
    to_summary(s, s.summaryPos);
    next_summary(s);
    s.outfile.print("    because %s", r.text);
    back_to_end(s);
  } else {
    s.outfile.write("\n");
    s.outfile.print("\t  %s\n", r.text);
  }

  unsigned char m[mcpc::kSize] = {};
  read_system(s, c.CCD_mreg, 0, m, sizeof m);
  s.mcpc = decode_mcpc(m);

  if (c.CCD_dumreason == 36) {
    const char* name = exception_name(s.mcpc.vec);
    if (s.outfile.is_file()) {
      to_summary(s, s.summaryPos);
      s.outfile.print(" %s", name);
    } else {
      s.outfile.print("\n\t%s", name);
    }
    if (s.mcpc.cs & 1) {
      s.outfile.print(" occurred at %X:%04lX                     ", s.mcpc.cs,
                      static_cast<unsigned long>(s.mcpc.eip));
      s.failingpos = s.outfile.tell() - 21;  // the blanks wait for " in process %s."
      s.diedat = uint32_t{s.mcpc.cs} * 65536u + s.mcpc.eip;
    }
    if (s.outfile.is_file()) {
      next_summary(s);
      back_to_end(s);
    } else {
      s.outfile.write("\n");
    }
  }

  if (s.space.termdump)
    s.outfile.print("\n\t%s\n", attachment_type(c.CCD_tcc_terminal_type, s.machine_type, c.CCD_sbi[0]));
  s.outfile.print("\n\tTotal memory:   %7.3f Mb\n", c.CCD_totalmem / 1048576.0);
}

void getVELAtcomd(Session& s) {
  auto addr = kernel_pointer(s, "OMKTCOMD");
  if (!addr) return;
  unsigned char rec[TCOMD_s::kSize] = {};
  read_system(s, *addr, 0, rec, sizeof rec);
  TCOMD_s t = decode_TCOMD_s(rec);
  if (t.mod2_terminal() != 0) s.outfile.print("\n\tMod2 terminal number:  %d\n", t.mod2_terminal());
}

void getTCOMD(Session& s) {
  unsigned char rec[TCOMD_s::kSize] = {};
  s.dumpfile.read_at(kMarraTcomdOffset, rec, sizeof rec);
  s.tcomd = decode_TCOMD_s(rec);
  const TCOMD_s& c = s.tcomd;
  const tmcpc& m = c.TCD_mreg;
  bool file = s.outfile.is_file();

  if (file)
    to_summary(s, s.summaryPos);
  else
    s.outfile.write("\n\n       ");
  DumpTime t = dump_time(c.TCD_time);
  s.outfile.print(" Terminal %d in store %d dumped at %02d:%02d:%02d ", c.terminal(), c.store(), t.hours, t.minutes,
                  t.seconds);
  print_date(s, c.TCD_date);
  s.outfile.write(" because");

  const char* reason = marra_reason(c.TCD_dumreason);
  uint16_t mod2 = c.mod2_terminal();
  if (file) {
    to_summary(s, s.summaryPos + 80);
    s.outfile.print(" %s", reason);
    next_summary(s, 2);
    back_to_end(s);
  } else {
    s.outfile.print("\n\t\t%s\n", reason);
    s.outfile.write("\n\tThis is a MARRA terminal.\n");
    if (mod2 != 0)
      s.outfile.print("\tThe MOD2 is terminal %d\n", mod2);
    else
      s.outfile.write("\tThere is no MOD2 terminal.\n");
  }

  if (c.TCD_dumreason == 36) {
    const char* name = marra_exception_name(m.vec);
    if (file) {
      to_summary(s, s.summaryPos);
      s.outfile.print(" %s occurred", name);
      s.failingpos = s.outfile.tell();
      next_summary(s);
      back_to_end(s);
    } else {
      s.outfile.print("%s\n\n", name);
    }
  }

  to_summary(s, s.summaryPos);
  s.outfile.write(" This is a MARRA terminal.");
  if (mod2 != 0)
    s.outfile.print("  The MOD2 is terminal %d.", mod2);
  else
    s.outfile.write("  There is no MOD2 terminal.");
  next_summary(s);
  back_to_end(s);

  s.outfile.print("\n\tTotal memory in the terminal:  %lX bytes = %d Meg\n", static_cast<unsigned long>(m.totalmem),
                  static_cast<int>(m.totalmem >> 20));
  s.outfile.write("\n\tOMKTCOMD Registers:\n\n");
  s.outfile.print("\t\tAX %04x\tCS %04x\tBP %04x\n", m.ax, m.cs, m.bp);
  s.outfile.print("\t\tBX %04x\tSS %04x\tSP %04x\n", m.bx, m.ss, m.sp);
  s.outfile.print("\t\tCX %04x\tES %04x\tDI %04x\n", m.cx, m.es, m.di);
  s.outfile.print("\t\tDX %04x\tDS %04x\tSI %04x\n", m.dx, m.ds, m.si);
  s.outfile.print("\n\tThe failing instruction (CS:IP):  %x:%04x\n", static_cast<unsigned>(c.TCD_mfail >> 16),
                  static_cast<unsigned>(c.TCD_mfail & 0xFFFF));
}

}  // namespace morvik
