// The report flow after the dialogue: the sections in their order, the early
// stops, the BASIC test, the closing lines and the RPOST batch file.
#include "morvik/driver/morvik_flow.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "common/report_sink.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/driver/dumpfunc_comd.h"
#include "morvik/driver/morvik.h"
#include "morvik/driver/morvik_procs.h"
#include "morvik/driver/morvik_rtdata.h"
#include "morvik/driver/morvik_stack.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/cdvvars.h"
#include "morvik/sections/dopipes.h"
#include "morvik/sections/dumpfunc_con.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "morvik/sections/dumpfunc_svc.h"
#include "morvik/sections/formattr.h"
#include "morvik/sections/heapwalk.h"
#include "morvik/sections/serial.h"
#include "morvik/symbols/doarray_symdump.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"
#include "morvik/symbols/sortsym.h"

namespace morvik {

namespace {

constexpr uint16_t kAsyncError = 0x0004;
constexpr size_t kCodeBytes = 20;
constexpr const char* kAnswersFile = "appargs";
constexpr const char* kBatchFile = "rpost.bat";

// A progress mark of a file report, on the standard error stream.
void dot(Session& s) {
  if (!s.outfile.is_file()) return;
  s.con.err << ".";
  s.con.err.flush();
}

[[noreturn]] void stop(Session& s, int status) {
  s.outfile.flush();
  s.con.out.flush();
  s.con.err.flush();
  end_run(s, status);
}

[[noreturn]] void code_not_in_dump(Session& s, const char* what, uint32_t addr) {
  std::string msg = vt::format("\n\tThe %s of %s at %08lX is not in the dump.\n", what, s.APPL_NAME.c_str(),
                               static_cast<unsigned long>(addr));
  s.con.err << msg;
  s.outfile.write(msg);
  stop(s, -1);
}

// The operating system version: the first "omkosver" datum above 0x101.
void os_version(Session& s) {
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    if (sym.name != "omkosver") return true;
    uint16_t v = 0;
    if (!s.dumpfile.read_u16_at(sym_dump_offset(s, sym), v) || static_cast<int16_t>(v) <= 0x101) return true;
    s.outfile.print("\n\tVELA OS Version %1.1d Release %1.1d\n", v & 0xFF, v >> 8);
    return false;
  });
}

// No application process: the consoles (and a controller's files), and why.
[[noreturn]] void no_process(Session& s) {
  report(s, 21);
  if (!s.space.termdump) showfnums(s);
  showConsoles(s);
  if (s.applname != "0") {
    const char* name = s.APPL_NAME.c_str();
    if (s.process_list_cut) {
      // The process may be in the part of the list that could not be read.
      report(s, 23);
      vt::print(s.con.err, "\n\tCannot find \"%s\" process: the process list is damaged.\n", s.applname.c_str());
      add_summary_line(s, " %s not found; the process list is damaged.", name);
      stop(s, -1);
    }
    if (s.sharedCodeHolder) {
      report(s, 22);
      vt::print(s.con.err, "\n\t%s has terminated.  It's only a shared code holder.\n", name);
      if (s.APPL_NAME.compare(0, 5, "MPOST") == 0) s.con.err << "\n\tThere is an active RPOST process.\n";
      add_summary_line(s, " %s has terminated.  It's a shared code holder.", name);
      if (s.rpostActive) add_summary_line(s, " There is an active RPOST process.");
    } else {
      report(s, 23);
      vt::print(s.con.err, "\n\tCannot find \"%s\" process in this dump.\n", s.applname.c_str());
      add_summary_line(s, " %s was not an active process at the time of the dump.", name);
    }
  }
  stop(s, 0);
}

void load_application_ldt(Session& s) {
  report(s, 24);
  AddressSpace& a = s.space;
  if (a.page) {
    if (s.debugmode) vt::print(s.con.out, "LDT addr=%08lX\n", static_cast<unsigned long>(a.LDT_addr));
    page_get_LDT(s, a.LDT_addr);
  } else {
    if (s.debugmode) vt::print(s.con.out, "(MARRA) LDT offset=%08lX\n", static_cast<unsigned long>(a.LDT_offset));
    get_LDT(s, a.LDT_offset);
  }
  if (s.debugmode) s.con.out << "ldt processing complete\n";
  validate_SYM_in_dump(s);
}

// Code not loaded yet: the process is still being loaded.
void check_loaded(Session& s, const _pd& pd) {
  report(s, 25);
  if (pd.p_mem[0] != 0) return;
  const char* name = s.APPL_NAME.c_str();
  add_summary_line(s, " There is no code loaded for %s.%s", name,
                   pd.p_mem[1] == 0 ? "  Nor is there any static data." : "");
  add_summary_line(s, " %s appears to be in the process of being loaded.", name);
  vt::print(s.con.err, "\n\n\t\t  >>> %s is not fully loaded! <<<\n\n", name);
  stop(s, 0);
}

// An application with neither static data nor a stack is not running yet.
void check_data_and_stack(Session& s, const _pd& pd) {
  if (pd.p_mem[1] != 0 || pd.p_mem[3] != 0) {
    report(s, 28);
    sort_data_segments(s);
    return;
  }
  report(s, 29);
  std::string first = vt::format(" %s has no static data and no stack allocated.  It is probably", s.APPL_NAME.c_str());
  const char* second = "     in the process of being loaded and is not yet executing.";
  if (s.outfile.is_file()) {
    add_summary_line(s, "%s", first.c_str());
    add_summary_line(s, "%s", second);
  } else {
    s.outfile.print("%s\n%s\n", first.c_str(), second);
  }
  stop(s, 0);
}

// The saved answers as lines, each with whether its line end was there.
struct AnswerLine {
  std::string text;
  bool ended = false;
};

std::vector<AnswerLine> answer_lines(const std::string& text) {
  std::vector<AnswerLine> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    AnswerLine l;
    l.ended = nl != std::string::npos;
    l.text = text.substr(at, l.ended ? nl - at : std::string::npos);
    if (!l.text.empty() && l.text.back() == '\r') l.text.pop_back();
    // A line is read 80 characters at a time: a longer one has no line end
    // within them, and its first 80 characters would name a wrong file.
    if (l.text.size() > 80) {
      l.text.resize(80);
      l.ended = false;
    }
    lines.push_back(l);
    at = nl != std::string::npos ? nl + 1 : text.size();
  }
  return lines;
}

// The RPOST process is formatted by a second run that the batch file makes.
void rpost(Session& s) {
  report(s, 58);
  add_summary_line(s, " There is an active RPOST process.");
  std::string text;
  {
    std::ifstream f(kAnswersFile, std::ios::binary);
    if (f) text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  std::string batch = rpost_batch(text);
  // A batch file that cannot be completed is not left behind.
  std::string reason;
  bool written = !batch.empty() && vt::write_crlf_text(kBatchFile, batch + "\n", &reason);
  if (!written) std::remove(kBatchFile);
  s.con.err << "\n  There is an active RPOST process.";
  if (written) s.con.err << "  Run RPOST.BAT to format it.\n";
  if (!batch.empty() && !written) {
    write_failure(s, kBatchFile, reason);
    stop(s, 1);
  }
}

std::string upper(std::string t) {
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return t;
}

}  // namespace

// The heap: a controller application's used list, or a terminal
// application's heap control block found behind its runtime data.
void heap_report(Session& s) {
  if (!s.BASIC) return;
  if (!s.space.termappl) {
    uint32_t usedlist = get_symbol_address(s, "_usedlist");
    if (usedlist != 0) heapwalk_c(s, (uint32_t{s.DS_selector} << 16) | (usedlist & 0xFFFF));
    return;
  }
  report(s, 46);
  // The search starts where the runtime data report found the end of the
  // runtime's record, past the runtime's own data; until that report has
  // found it, the whole data segment is searched.
  size_t from = s.runtime.heapScanFrom < 0 ? 0 : static_cast<size_t>(s.runtime.heapScanFrom);
  uint32_t ds = uint32_t{s.DS_selector} << 16;
  uint16_t limit = getlimit(s, ds);
  std::vector<unsigned char> seg = read_segment(s, s.DS_selector, size_t{limit} + 1);
  static constexpr std::string_view kMarker = "NewHeap";
  for (size_t i = from; i + kMarker.size() + 4 <= seg.size(); ++i) {
    if (std::string_view(reinterpret_cast<const char*>(seg.data() + i), kMarker.size()) != kMarker) continue;
    uint32_t hcb = vt::le32(seg.data() + i + kMarker.size());
    if (isSelector(s, static_cast<uint16_t>(hcb >> 16)) == kLdtData) {
      heapwalk(s, hcb);
      return;
    }
    break;
  }
  s.outfile.write("\tCannot find heap control block.\n");
}

CodeStart basic_signature(const unsigned char* b, bool shared) {
  if (b[0] == 0x81 && b[1] == 0xE4 && b[2] == 0xFE && b[3] == 0xFF) return CodeStart::TerminalBasic;
  if (!shared && b[14] == 0xB8 && b[15] == 0x2A && b[16] == 0x00 && b[17] == 0x50) return CodeStart::Basic;
  if (b[0] == 0xEA && b[5] == 0x9A && b[10] == 0xEA && b[15] == 0xB8 && b[18] == 0x50 && b[19] == 0xB8)
    return CodeStart::Basic;
  if (b[0] == 0x9A && b[5] == 0xEA && b[10] == 0xB8 && b[13] == 0x00 && b[14] == 0x50 && b[15] == 0xB8)
    return CodeStart::Basic;
  if (b[0] == 0x9A && b[5] == 0xB8 && b[8] == 0x50 && b[9] == 0xB8 && b[12] == 0x50 && b[13] == 0xB8)
    return CodeStart::Basic;
  return CodeStart::Unknown;
}

void basic_test(Session& s) {
  const _pd& pd = *s.applprocess;
  std::array<unsigned char, kCodeBytes> code{};
  unsigned char first[16] = {};
  // The code start is the far address in the first memory descriptor of
  // the code chain. An address that does not translate ends the run there;
  // code that is not in the dump cannot be tested, and nothing after the
  // test can be told without it.
  if (read_system(s, pd.p_mem[0], 0, first, sizeof first) != sizeof first)
    code_not_in_dump(s, "code descriptor", pd.p_mem[0]);
  uint32_t start = vt::le32(first + 12);
  if (!readstuff(s, code, start, 1, static_cast<int16_t>(code.size()), 'a')) code_not_in_dump(s, "code", start);
  switch (basic_signature(code.data(), s.shared != 0)) {
    case CodeStart::TerminalBasic:
      s.space.termappl = 1;
      s.BASIC = 1;
      break;
    case CodeStart::Basic:
      s.BASIC = 1;
      break;
    case CodeStart::Unknown: {
      // An application on the C interface library uses the terminal layout.
      unsigned char found[33] = {};
      if (searchCodeForString(s, "OMKCAPIT", found, 32)) {
        s.space.termappl = 1;
        if (std::strcmp(reinterpret_cast<const char*>(found), "OMKCAPITL") == 0)
          s.CAPITLRG = 1;
        else
          s.CAPITMED = 1;
      }
      break;
    }
  }
  if (s.BASIC) return;
  if (s.outfile.is_file())
    add_summary_line(s, " %s appears not to be a BASIC app.", s.APPL_NAME.c_str());
  else
    s.outfile.print(" %s appears not to be a BASIC app.\n", s.APPL_NAME.c_str());
  if (s.debugmode) {
    pdump(s, code);
    s.BASIC = 1;
  }
}

std::string rpost_batch(const std::string& appargs) {
  std::vector<AnswerLine> l = answer_lines(appargs);
  // Lines 2, 3, 4 and 6 must be there, each with its line end.
  for (size_t n : {2u, 3u, 4u, 6u})
    if (l.size() < n || !l[n - 1].ended) return "";
  const std::string& seventh = l.size() >= 7 ? l[6].text : l[5].text;
  return "morvik " + l[1].text + " " + l[2].text + " " + l[3].text + " rpost " + " " + l[5].text + " " + seventh + " ";
}

void run_report(Session& s) {
  AddressSpace& a = s.space;
  getGDT(s);
  section_headers(s);
  dot(s);
  if (a.termdump) {
    report(s, 13);
    getMachineType(s);
  }
  report(s, 14);
  os_version(s);
  dot(s);
  report(s, 15);
  if (a.termMARRA) {
    getTCOMD(s);
  } else {
    getCCOMD(s);
    getmemmap(s);
    if (a.termdump) getVELAtcomd(s);
  }
  report(s, 16);
  getprocesslist(s);

  if (s.applflat) {
    report(s, 17);
    svctrace(s);
    showfnums(s);
    showConsoles(s);
    stop(s, 0);
  }
  if (s.cdvfile.is_open()) {
    report(s, 19);
    readcdv(s);
  }
  dot(s);
  report(s, 20);
  svctrace(s);
  if (!s.applprocess) no_process(s);
  const _pd pd = *s.applprocess;

  load_application_ldt(s);
  check_loaded(s, pd);
  basic_test(s);
  if (s.cdvfile.is_open() && s.BASIC && !a.termappl) {
    report(s, 26);
    checkcbhalt(s);
  }
  if (pd.p_flag & kAsyncError) {
    report(s, 27);
    std::string name = pd_name(pd);
    if (s.outfile.is_file())
      add_summary_line(s, " %s is in an async error routine.", name.c_str());
    else
      s.outfile.print("\t %s is in an async error routine.\n", name.c_str());
  }
  check_data_and_stack(s, pd);
  if (s.symfile.is_open()) {
    report(s, 30);
    makelist(s);
  }
  report(s, 31);
  if (processdetails(s) < 0) {
    s.outfile.write("processdetails failed\n");
    stop(s, -1);
  }
  if (s.BASIC && !a.termappl) {
    report(s, 32);
    wrenRTdata(s);
  }
  if (s.debugmode) vt::print(s.con.out, "DS offset=%08lX\n", static_cast<unsigned long>(s.DS_offset));
  // A data segment that lies outside the dump cannot be read.
  if (!s.dumpfile.seek(s.DS_offset) || s.DS_offset >= s.dumpfile.size()) {
    s.outfile.print("\nError occurred seeking to offset %lx.\n", static_cast<unsigned long>(s.DS_offset));
    stop(s, -1);
  }
  if (s.BASIC && a.termappl) {
    report(s, 33);
    runtime_data_report(s);
  }
  heap_report(s);
  if (s.symfile.is_open()) {
    report(s, 47);
    makeDataList(s);
    if (s.symbols.rtdsvOffset != 0) bad_sym(s);
  }
  if (s.BASIC && (s.symfile.is_open() || s.cdvfile.is_open())) {
    report(s, 48);
    if (a.termappl)
      formatTrace(s);
    else
      formatWrenTrace(s);
    report_ct_trace(s);
    report(s, 49);
    if (s.cdvfile.is_open())
      cdvvars(s);
    else
      processSyms(s);
    s.outfile.flush();
  }
  report(s, 50);
  dostack(s);
  report(s, 51);
  showfnums(s);
  report(s, 52);
  dopipes(s);
  if (s.BASIC) {
    report(s, 53);
    saved_error_data(s);
  }
  report(s, 55);
  showConsoles(s);
  if (s.heap_debugmode) {
    report(s, 551);
    HeapTrc(s);
  }

  // The closing lines name the symbol file used, which the serial section
  // of a paged dump closes first.
  bool sym = s.symfile.is_open();
  bool cdv = s.cdvfile.is_open();
  if (a.page) {
    report(s, 56);
    s.symfile.close();
    s.cdvfile.close();
    formatSerial(s);
  }
  report(s, 57);
  std::string symname = upper(s.symfilename);
  if (sym) {
    s.outfile.print("\nThis dump was formatted using SYM file %s.\n", symname.c_str());
  } else if (cdv) {
    s.outfile.print("\nThis dump was formatted using CDV file %s.\n", symname.c_str());
    if (s.symbols.Csources) s.outfile.write("\nThere appear to be C sources in this application.\n");
  } else {
    s.outfile.write("\nThis dump was formatted without a SYM or CDV file.\n");
  }
  if (std::strncmp(pd.p_name, "mpost", 4) == 0 && s.rpostActive) rpost(s);
  report(s, 59);
  s.outfile.write("\nMORVIK is ending normally.\n");
  if (s.debugmode)
    vt::print(s.con.out, "dump file reads: %llu, pages read again: %llu\n",
              static_cast<unsigned long long>(s.dumpfile.file_reads()),
              static_cast<unsigned long long>(s.dumpfile.pages_read_again()));
  stop(s, 0);
}

}  // namespace morvik
