// Process discovery: the kernel's process list and memory usage, the choice
// of the application process, its details, and the device names of drivers.
#include "morvik/driver/morvik_procs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/sections/dumpfunc_svc.h"
#include "morvik/driver/dumpfunc_comd.h"
#include "morvik/driver/morvik.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "morvik/symbols/doarray_symdump.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

namespace {

constexpr uint16_t kSystemProcess = 0x0001;
constexpr uint16_t kAsyncError = 0x0004;
constexpr uint16_t kSwiDisabled = 0x0040;
constexpr uint16_t kInSupervisorCall = 0x0100;
constexpr uint16_t kSharedCodeHolder = 0x0800;
constexpr uint16_t kAborting = 0x4000;
constexpr uint16_t kTermevent = 0x8000;
constexpr uint8_t kAbortedPriority = 70;
constexpr uint8_t kStatSharedCode = 8;
constexpr uint32_t kOutOfEvents = 0x7FFFFFFF;
constexpr uint8_t kHlt = 0xF4;
// A store controller runs thousands of processes (their LDTs share GDT
// segments, so the GDT does not limit them); a longer list is damaged.
constexpr size_t kProcessListBound = 16384;

std::string lower(std::string t) {
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return t;
}

// Progress marks of a file report go to the standard error stream.
void progress(Session& s, const char* mark) {
  if (!s.outfile.is_file()) return;
  s.con.err << mark;
  s.con.err.flush();
}

const char* status_mark(uint8_t stat) {
  switch (stat) {
    case 0: return "\t  (R)";
    case 1: return "\t  (B)";
    case 4: return "\t  (T)";
    case 6: return "\t  (W)";
    case 8: return "\t  (S)";
    default: return "\t  (?) ";
  }
}

bool is_code_selector(const Session& s, uint16_t selector) {
  int16_t c = isSelector(s, selector);
  return c == kLdtCode || c == kGdtCode;
}

// A terminal-runtime process on shared runtimes cannot be formatted.
void refuse_srtl(Session& s, const std::string& lname) {
  if (s.outfile.is_file()) {
    s.summaryPos += 80;  // one summary line left empty
    add_summary_line(s, " Terminal process %s uses SRTLs - MORVIK doen't handle them.", lname.c_str());
    s.con.err << "\n     This terminal application uses SRTLs - MORVIK doesn't handle them.\n";
  } else {
    s.outfile.print("\n     Terminal process %s uses SRTLs - MORVIK doesn't handle them.\n", lname.c_str());
  }
  s.outfile.flush();
  s.con.out.flush();
  s.con.err.flush();
  if (!s.debugmode) end_run(s, 0);
}

// One line of the process list; the process may be the one asked for.
void list_process(Session& s, uint32_t addr, const _pd& pd, uint32_t current) {
  std::string name = pd_name(pd);
  s.plist.push_back(plistItem{pd.p_pid, name});  // turned newest first after the walk
  if (current != 0 && addr == current) {
    s.outfile.write("\t  (C)");
    if (s.failingpos != 0 && s.outfile.is_file()) {
      seek_summary(s, s.failingpos);
      s.outfile.print(" in process %s.", name.c_str());
      s.outfile.seek_end();
    }
    s.currentPID = pd.p_pid;
  } else {
    s.outfile.write(status_mark(pd.p_stat));
  }
  bool system = (pd.p_flag & kSystemProcess) != 0;
  s.outfile.print("\t%4.4X", static_cast<unsigned>(pd.p_pid));
  s.outfile.print("  %-6.6s", system ? "system" : "appl");
  s.outfile.print("  %-10.10s", name.c_str());
  s.outfile.print("  %3d   ", pd.p_prior);

  bool flat = false;
  std::string filename;
  if (!system) {
    if (pd.p_cmdenv == 0) {
      s.outfile.write("\n");
      return;
    }
    unsigned char fn[29] = {};
    size_t got = read_system(s, pd.p_cmdenv, 2, fn, sizeof fn);
    if (got < sizeof fn && std::memchr(fn, 0, got) == nullptr) {
      // The name runs into memory that is not in the dump: it is not known.
      s.outfile.print(" (command environment at %08lX not in the dump)", static_cast<unsigned long>(pd.p_cmdenv));
    } else {
      filename = bounded_text(fn, sizeof fn);
      s.outfile.print(" %s", filename.c_str());
      if (filename.find(".386") != std::string::npos) {
        s.outfile.write("  32-bit appl");
        flat = true;
      }
    }
    if (pd.p_flag & kAsyncError)
      s.outfile.write(" in async error routine");
    else if (pd.p_flag & kTermevent)
      s.outfile.write(" running termevent SWI");
    if (pd.p_prior == kAbortedPriority) s.outfile.write(" aborted");
  }
  s.outfile.write("\n");

  // "0" (or nothing) names no process; a prefix of the name selects it.
  std::string lname = lower(name);
  if (!s.applprocess && !s.applname.empty() && s.applname != "0" &&
      lname.compare(0, s.applname.size(), s.applname) == 0) {
    locate_SYM_in_dump(s, pd.p_mem[0]);
    if (pd.p_stat == kStatSharedCode) {
      s.sharedCodeHolder = 1;  // a later process of the name may still match
    } else {
      AddressSpace& a = s.space;
      if (!a.termappl && filename.find("R::") != std::string::npos) a.termappl = 1;
      s.applprocess = pd;
      s.thispd = addr;
      s.applfilename = filename;
      if (!a.termMARRA) a.CR3 = pd.p_cr3;
      a.LDT_addr = pd.p_ldt;
      a.LDT_offset = getSYSphysoffset(s, pd.p_ldt);
      s.shared = pd.p_srtl != 0;
      s.applflat = flat;
      if (a.termappl && pd.p_srtl != 0) refuse_srtl(s, lname);
    }
  }
  if (name.compare(0, 4, "rpos") == 0 && pd.p_mem[0] != 0) s.rpostActive = 1;
}

// The sum of m_length over one memory chain; `shared` when its last
// descriptor is a shared area.
struct ChainSum {
  uint64_t bytes = 0;  // a damaged chain may sum past 32 bits
  bool shared = false;
  ChainResult walk;
};

ChainSum sum_chain(Session& s, uint32_t head) {
  ChainSum sum;
  sum.walk = walk_system_chain(s, head, md::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    md m = decode_md(rec);
    sum.bytes += m.m_length;
    sum.shared = (m.m_flags & 0x40) != 0;
    return true;
  });
  // Only the chain's real last descriptor tells whether the area is shared.
  if (!chain_note(sum.walk, "").empty()) sum.shared = false;
  return sum;
}

const char* const kChainNames[4] = {"code", "static data", "other data", "stack"};

std::string chain_what(int chain, const std::string& name) {
  return vt::format("Memory chain (%s) of %s", kChainNames[chain], name.c_str());
}

void memory_usage(Session& s, uint32_t first) {
  s.outfile.write("\n SUB Application Memory Usage:\n");
  uint64_t total = 0;
  ChainResult walk = walk_system_chain(s, first, _pd::kSize, 4, [&](uint32_t, const unsigned char* rec) {
    _pd pd = decode_pd(rec);
    if (pd.p_flag & kSystemProcess) return true;
    if (!(pd.p_mem[0] || pd.p_mem[1] || pd.p_mem[2] || pd.p_mem[3])) return true;
    std::string name = pd_name(pd);
    s.outfile.print("\n\tMemory (in bytes) allocated for %s:", name.c_str());
    std::optional<uint64_t> stack;
    for (int i = 0; i < 4; ++i) {
      if (pd.p_mem[i] == 0) {
        if (i == 3) s.outfile.write("\n");
        continue;
      }
      ChainSum sum = sum_chain(s, pd.p_mem[i]);
      // A damaged chain can sum past 32 bits (and `long` has 32 on Windows).
      long long bytes = static_cast<long long>(sum.bytes);
      unsigned long long hex = sum.bytes;
      switch (i) {
        case 0:
          s.outfile.print("\n\t  Code:\t\t%7lld (%llxh)", bytes, hex);
          if (sum.shared) s.outfile.write(" (shared)");
          break;
        case 1: s.outfile.print("\n\t  Static data:  %7lld (%llxh)\n", bytes, hex); break;
        case 2: s.outfile.print("\t  Other data:   %7lld (%llxh) (application heap, etc.)\n", bytes, hex); break;
        default:
          s.outfile.print("\t  Stack:        %7lld (%llxh)\n", bytes, hex);
          stack = sum.bytes;
          break;
      }
      if (!(i == 0 && sum.shared)) total += sum.bytes;
      std::string note = chain_note(sum.walk, chain_what(i, name));
      if (!note.empty()) s.outfile.print(i == 0 ? "\n\t  %s" : "\t  %s\n", note.c_str());
    }
    if (s.applprocess && pd.p_pid == s.applprocess->p_pid && !s.applflat && stack && *stack < 8192)
      add_summary_line(s, " %s has a %dKb stack.", name.c_str(), static_cast<int>(*stack / 1024));
    return true;
  }, kProcessListBound);
  std::string note = chain_note(walk, "Process list");
  if (!note.empty()) s.outfile.print("\n\t%s\n", note.c_str());
  s.outfile.print("\n\tTotal memory allocated to the application(s): %7.3f Mb\n\n", static_cast<double>(total) / 1048576.0);
}

// The last descriptor of a memory chain, if it has one in the dump; a cut
// walk is noted on the report and has no last descriptor.
std::optional<md> last_descriptor(Session& s, uint32_t head, const std::string& what) {
  std::optional<md> last;
  ChainResult r = walk_system_chain(s, head, md::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    last = decode_md(rec);
    return true;
  });
  std::string note = chain_note(r, what);
  if (note.empty()) return last;
  s.outfile.print("\t %s\n", note.c_str());
  return std::nullopt;
}

// The process's register save area; a note when it is not in the dump.
bool read_regsav(Session& s, const _pd& pd, unsigned char* b, size_t len) {
  if (read_system(s, pd.p_regsav, 0, b, len) == len) return true;
  s.outfile.print("\t The register save area at %08lX is not in the dump.\n\n", static_cast<unsigned long>(pd.p_regsav));
  return false;
}

// Registers of a 32-bit kernel; false when the process is not completely
// loaded or its registers are not in the dump.
bool registers386(Session& s, const _pd& pd, const std::string& name) {
  unsigned char b[regsav386::kSize] = {};
  if (!read_regsav(s, pd, b, sizeof b)) return false;
  regsav386 r = decode_regsav386(b);
  auto ul = [](uint32_t v) { return static_cast<unsigned long>(v); };
  s.outfile.write("\t Application registers:  \n\n");
  s.outfile.print("\t     AX %08lx     CS %08lx     BP %08lx\n", ul(r.r_ax), ul(r.r_cs), ul(r.r_bp));
  s.outfile.print("\t     BX %08lx     SS %08lx     SP %08lx\n", ul(r.r_bx), ul(r.r_ss), ul(r.r_sp));
  s.outfile.print("\t     CX %08lx     ES %08lx     DI %08lx\n", ul(r.r_cx), ul(r.r_es), ul(r.r_di));
  s.outfile.print("\t     DX %08lx     DS %08lx     SI %08lx\n", ul(r.r_dx), ul(r.r_ds), ul(r.r_si));
  s.outfile.print("\t     IP %08lx\n\n", ul(r.r_ip));
  if (r.r_cs == 0 && r.r_ds == 0) {
    s.outfile.write("\t This process is not completely loaded and is not executing.\n\n");
    if (s.outfile.is_file())
      vt::print(s.con.err, "\n\n       Process %s is not executing... it's not completely loaded.\n\n", name.c_str());
    return false;
  }
  if (r.r_ss == r.r_ds) s.outfile.write("\t This appears to be a medium memory model application.\n\n");
  s.SS_selector = static_cast<uint16_t>(r.r_ss);
  s.BP = static_cast<uint16_t>(r.r_bp);
  s.SP = static_cast<uint16_t>(r.r_sp);
  s.CS = static_cast<uint16_t>(r.r_cs);
  s.CX = static_cast<uint16_t>(r.r_cx);
  if (!s.SYSTEM && isSelector(s, s.SS_selector) != kLdtData) s.outfile.write("\t The stack selector is invalid.\n");
  if (s.SYSTEM) {
    int16_t c = isSelector(s, s.CS);
    if (!(c == kLdtCode || (c == kGdtCode && s.shared))) {
      s.outfile.write("\t Egad!  These are SYSTEM registers, not application registers!!\n\n");
      s.regsOK = 0;
    }
    if (isSelector(s, s.SS_selector) != kLdtData) {
      // The application's own stack is kept in its user data area.
      unsigned char u[18] = {};
      if (read_system(s, pd.p_uda, 0, u, sizeof u) != sizeof u) {
        s.outfile.print("\t The user data area at %08lX is not in the dump.\n\n",
                        static_cast<unsigned long>(pd.p_uda));
        return true;
      }
      s.SS_selector = vt::le16(u + 16);
      s.SP = vt::le16(u + 12);
      s.BP = 0;
      if (isSelector(s, s.SS_selector) == kLdtData)
        s.outfile.print("\t The stack selector is actually %08lx, and SP is %08lx\n\n",
                        static_cast<unsigned long>(s.SS_selector), static_cast<unsigned long>(s.SP));
    }
  }
  return true;
}

// Registers of the MARRA kernel and the code blocks of the process.
bool registers286(Session& s, const _pd& pd) {
  unsigned char b[regsav286::kSize] = {};
  if (!read_regsav(s, pd, b, sizeof b)) return false;
  regsav286 r = decode_regsav286(b);
  s.outfile.write("\t  Application registers:  \n\n");
  s.outfile.print("\t     AX %04x     CS %04x     BP %04x\n", r.r_ax, r.r_cs, r.r_bp);
  s.outfile.print("\t     BX %04x     SS %04x     SP %04x\n", r.r_bx, r.r_ss, r.r_sp);
  s.outfile.print("\t     CX %04x     ES %04x     DI %04x\n", r.r_cx, r.r_es, r.r_di);
  s.outfile.print("\t     DX %04x     DS %04x     SI %04x\n", r.r_dx, r.r_ds, r.r_si);
  s.outfile.print("\t     IP %04x\n", r.r_ip);
  s.SS_selector = r.r_ss;
  s.BP = r.r_bp;
  s.SP = r.r_sp;
  s.CS = r.r_cs;
  s.CX = r.r_cx;

  s.numchunks = 0;
  ChainResult walk = walk_system_chain(s, pd.p_mem[0], md::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    s.code_block_286[static_cast<size_t>(s.numchunks++)] = vt::le16(rec + 14);  // selector half of m_lbase
    return s.numchunks < static_cast<int16_t>(s.code_block_286.size());
  });
  std::string note = chain_note(walk, chain_what(0, pd_name(pd)));
  if (!note.empty()) s.outfile.print("\t %s\n", note.c_str());
  return true;
}

}  // namespace

std::string pd_name(const _pd& pd) {
  std::string name = bounded_text(reinterpret_cast<const unsigned char*>(pd.p_name), 10);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

void getprocesslist(Session& s) {
  progress(s, ".");
  uint32_t current = 0;  // the current process's descriptor; 0 when unknown
  if (auto rlr = kernel_symbol_offset(s, "rlr")) {
    if (s.debugmode) vt::print(s.con.out, "rlr pointer is at %lx\n", static_cast<unsigned long>(*rlr));
    s.dumpfile.read_u32_at(*rlr, current);
    if (s.debugmode) vt::print(s.con.out, "current PD is at %lx\n", static_cast<unsigned long>(current));
  }
  s.outfile.write("\n SUB Process list:  ");
  s.outfile.write("C ==> current;  R ==> ready;  W ==> waiting on event;\n");
  s.outfile.write("\t\t    B ==> blocked;  S ==> shared code holder; T ==> terminate\n\n");
  s.outfile.write("\t Status PID  Function Process   Priority     Application\n");

  uint32_t first = 0;
  // A list head the dump does not hold is a damaged list, not an empty one.
  std::optional<uint32_t> thrdrt = kernel_symbol_offset(s, "thrdrt");
  bool head_missing = thrdrt && !s.dumpfile.read_u32_at(*thrdrt, first);
  if (head_missing) first = 0;
  progress(s, ".");
  ChainResult walk = walk_system_chain(
      s, first, _pd::kSize, 4,
      [&](uint32_t addr, const unsigned char* rec) {
        list_process(s, addr, decode_pd(rec), current);
        return true;
      },
      kProcessListBound);
  // Newest first; reversed once, since inserting each at the front costs
  // the whole list every time in a list of thousands.
  std::reverse(s.plist.begin(), s.plist.end());
  std::string note = chain_note(walk, "Process list");
  if (head_missing)
    note = vt::format("*** Process list: its head at dump offset %08lX is not in the dump.",
                      static_cast<unsigned long>(*thrdrt));
  if (!note.empty()) s.outfile.print("\t%s\n", note.c_str());
  s.process_list_cut = !note.empty();
  progress(s, ".");

  if (s.applflat) {
    vt::print(s.con.err, "\n\tSorry - Morvik doesn't handle 32-bit processes, and \n\t\t%s is a 32-bit process.\n",
              s.applname.c_str());
    add_summary_line(s, " %s is a 32-bit process.  Sorry - can't touch it!", s.APPL_NAME.c_str());
  }
  memory_usage(s, first);
}

void runtime_level_line(Session& s, int16_t level, const std::string& verdate) {
  s.cbrt = level;
  if (level != 0) {
    if (level > 47) s.MAXFN = 104;
    s.outfile.print("\n\t CBASIC runtimes dated %s, version %d\n\n", verdate.c_str(), level);
  } else {
    s.cbrt = 41;
  }
}

int processdetails(Session& s) {
  if (!s.applprocess) return -1;
  const _pd pd = *s.applprocess;
  const std::string name = pd_name(pd);
  AddressSpace& a = s.space;

  progress(s, "\n  Application details...");
  if (a.termappl)
    s.outfile.print("\n SUB Details of terminal application %.10s\n\n", name.c_str());
  else
    s.outfile.print("\n SUB Details of %.10s:\n\n", name.c_str());
  if ((pd.p_flag & kAborting) && (pd.p_flag & kSharedCodeHolder)) {
    s.outfile.write("\t  This process has terminated... ");
    s.outfile.write("it is a shared code holder.\n\n");
    return 0;
  }

  if (s.symfile.is_open() ? sym_pair_named(s, "OMKMEMGR") : s.cdvfile.is_open() && findCDVName(s, "OMKMEMGR"))
    s.outfile.write("\t This application uses extended memory management (OMKMEM)\n\n");

  if (pd.p_mem[1] != 0) {
    if (auto last = last_descriptor(s, pd.p_mem[1], chain_what(1, name))) {
      s.DS_selector = static_cast<uint16_t>(last->m_lbase >> 16);
      if (isSelector(s, s.DS_selector) == kLdtData) s.DS_offset = getphysoffset(s, last->m_lbase);
    }
  } else {
    s.outfile.write("\t There is no static data associated with this application\n\n");
  }
  progress(s, ".(1).");
  if (pd.p_mem[0] != 0) {
    if (auto last = last_descriptor(s, pd.p_mem[0], chain_what(0, name))) {
      s.CS_selector = static_cast<uint16_t>(last->m_lbase >> 16);
      if (isSelector(s, s.CS_selector) == kLdtCode) s.CS_offset = getphysoffset(s, last->m_lbase);
    }
  } else {
    s.outfile.write("\tThere is no code loaded for this application\n");
  }

  if (a.CR3 != 0) {
    if (!registers386(s, pd, name)) return -1;
  } else if (!registers286(s, pd)) {
    return -1;
  }

  progress(s, ".(2).");
  if (getsize(s, static_cast<int16_t>(s.SS_selector >> 3)) == 0xFFFF) {
    s.outfile.write("         Note:  the application stack segment is a full 64K bytes.\n");
    s.outfile.write("         If the maximum stack size is required, it is better to use\n");
    s.outfile.write("         the [STACK[MAX[ffe]] link option to create a stack which is\n");
    s.outfile.write("         16 bytes less than 64K and therefore does not permit wrapping.\n\n");
  }
  if (a.termappl && isSelector(s, s.SS_selector) == kLdtData) {
    unsigned char head[8] = {};
    if (readstuff(s, head, uint32_t{s.SS_selector} << 16, 1, sizeof head, 'a') &&
        std::memcmp(head, "MetaWare", 8) == 0) {
      s.MetaWare = 1;
      s.outfile.print("\t %s is linked with Metaware HighC runtimes\n\n", s.APPL_NAME.c_str());
    }
  }
  sort_code_segments(s);
  progress(s, ".(3).");

  // Where the application crashed, when it was the current process.
  uint8_t opcode = 0;
  bool crash_named = false;
  if ((s.symfile.is_open() || s.cdvfile.is_open()) && s.currentPID == pd.p_pid) {
    uint16_t failing_cs = a.termMARRA ? s.tcomd.TCD_mreg.cs : s.mcpc.cs;
    if (isSelector(s, failing_cs) == kLdtCode) {
      uint32_t at = a.termMARRA ? s.tcomd.TCD_mfail : s.diedat;
      s.outfile.write("\t The application crashed at");
      findname(s, at);
      if (!a.termMARRA && isSelector(s, static_cast<uint16_t>(at >> 16)) == kLdtCode) {
        unsigned char b = 0;
        if (readstuff(s, std::span<unsigned char>(&b, 1), at, 1, 1, 'a')) opcode = b;
        if (opcode == kHlt) s.outfile.write(", \n\t\topcode HLT, probably a trap");
      }
      s.outfile.write("\n\n");
      crash_named = true;
    }
  }
  if (!crash_named && !a.termappl && isSelector(s, s.mcpc.cs) == kGdtCode)
    s.outfile.print("\t The application crashed at %hx:%hx in the shared runtimes\n\n",
                    static_cast<unsigned short>(s.mcpc.cs), static_cast<unsigned short>(s.mcpc.eip));

  progress(s, ".(4).");
  progress(s, ".(5).");
  if (s.BASIC && a.termappl) {
    int16_t level = getcbrt(s);
    runtime_level_line(s, level, s.runtime.verdate);
  }
  progress(s, ".(6).");

  uint32_t ev = pd.p_evbits;
  int events = std::popcount(ev);
  if (ev != 0) {
    s.outfile.print("\t Event mask %08lxH:  ", static_cast<unsigned long>(ev));
    s.outfile.print("%d outstanding event(s)", events);
    if (ev == kOutOfEvents) {
      s.outfile.write(" <<<<< !!!!!!");
      vt::print(s.con.err, "\t%s IS OUT OF EVENTS!!!\n", s.APPL_NAME.c_str());
    }
  } else {
    s.outfile.write("\t There are no outstanding events.");
  }
  s.outfile.write("\n");
  if (ev == kOutOfEvents)
    add_summary_line(s, " %s is out of events!!!", name.c_str());
  else if (events > 10)
    add_summary_line(s, " %s has many outstanding events.", name.c_str());
  else
    add_summary_line(s, " %s's event bits look OK.", name.c_str());

  if (pd.p_flag & kAsyncError) s.outfile.print("\n\t %s is in an async error routine\n", name.c_str());
  if (!a.termappl && !s.shared) s.outfile.print("\n\t %s is linked noshare\n", name.c_str());

  if ((pd.p_flag & kInSupervisorCall) && !(pd.p_flag & kSwiDisabled) && opcode != kHlt) {
    s.outfile.print("\n\t %s is in a supervisor call", name.c_str());
    unsigned char frame[16] = {};
    if (readstuff(s, frame, (uint32_t{s.SS_selector} << 16) | s.SP, 1, sizeof frame, 'a')) {
      // The SVC's arguments follow the return address; from byte 8 they
      // end past the 16 bytes read, so they are read on their own.
      int at = is_code_selector(s, vt::le16(frame + 4)) ? 6 : is_code_selector(s, vt::le16(frame + 6)) ? 8 : 0;
      unsigned char args[10] = {};
      if (at != 0 && readstuff(s, args, (uint32_t{s.SS_selector} << 16) | ((s.SP + at) & 0xFFFF), 1, sizeof args, 'a'))
        showSVC(s, args);
    }
  }

  if (pd.p_flag & kTermevent) s.outfile.write("\n\t Running a termevent swi\n");
  if (pd.p_flag & kSharedCodeHolder) {
    s.outfile.print("\n\t Process %s is a shared code holder.\n", s.applname.c_str());
    s.outfile.flush();
    end_run(s, 0);
  }
  if (pd.p_flag & kAborting) s.outfile.print("\n\t Process %s is aborting.\n", name.c_str());
  progress(s, ".\n");
  return 0;
}

const char* device_name(const char* name) {
  static constexpr struct {
    const char* device;
    const char* display;
  } kNames[] = {
      {"OMKPIA", "ANDISPLAY:"}, {"OMKPID", "CDRAWER:"},     {"OMKPIC", "COIN:   "},      {"OMKPIT", "TOTRET: "},
      {"OMKPII", "IOPROC: "},   {"OMKPIM", "MSR:    "},     {"OMKPIN", "PINPAD: "},      {"OMKPIPR", "CR:     "},
      {"OMKPIPJ", "SJ:     "},  {"OMKPIPD", "DI:     "},    {"OMKPIW", "SCALE:  "},      {"OMKPIK", "TONE:   "},
      {"OMKPIV", "VDISPLAY:"},  {"OMKPIA2", "ANDISPLAY2:"}, {"OMKPIF", "SDISPLAY:"},     {"OMKPIV2", "VDISPLAY2:"},
      {"OMKPIA4", "ANDISPLAY3:"}, {"OMKPIZ", "TOUCH:  "},   {"OMKPIR1", "SERIAL1 "},     {"OMKPIR2", "SERIAL2 "},
      {"OMKPIR3", "SERIAL3 "},  {"OMKPIR4", "SERIAL4 "},
  };
  for (const auto& n : kNames)
    if (std::strcmp(name, n.device) == 0) return n.display;
  return "screwy name!";
}

}  // namespace morvik
