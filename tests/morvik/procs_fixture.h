// Helpers for the system-area and process tests: a report file with its
// summary area, and an application process built into a dump.
#pragma once
#include <string>
#include <vector>

#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "testkit/kernelbuilder.h"
#include "tests/morvik/fixture.h"

namespace morvik_test {

constexpr int kSummaryLines = 14;

// A session over the dump with the GDT loaded, its output so far (the EL
// GDT lines) cleared.
struct Fixture : SessionFixture {
  explicit Fixture(const testkit::DumpBuilder& b) : SessionFixture(b) { out.str(""); }
};

// Sends the report to a file that starts with a blank summary area, as the
// section labels leave it (box lines of 80 bytes; text goes 4 bytes in).
inline void report_to_file(Fixture& f) {
  f.s.outfile.open_file(f.dir.file("report.txt"));
  f.s.outfile.write("\t****** SUMMARY ******\n");
  f.s.summaryPos = static_cast<int32_t>(f.s.outfile.tell()) + 4;
  f.s.summaryEnd = f.s.summaryPos + kSummaryLines * 80;
  for (int i = 0; i < kSummaryLines; ++i) f.s.outfile.write("\t**" + std::string(73, ' ') + "**\n");
  f.s.outfile.write("\t*****\n");
}

inline std::string report_file(Fixture& f) {
  f.s.outfile.flush();
  return testkit::read_text(f.dir.file("report.txt"));
}

// The text written on each summary line (blanks at the end dropped).
inline std::vector<std::string> summary(Fixture& f) {
  std::string text = report_file(f);
  size_t start = text.find("\t** ");
  std::vector<std::string> lines;
  for (int i = 0; i < kSummaryLines; ++i) {
    std::string line = text.substr(start + 80 * static_cast<size_t>(i) + 4, 72);
    while (!line.empty() && (line.back() == ' ' || line.back() == '*')) line.pop_back();
    lines.push_back(line);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// The report after the summary area, with plain line ends.
inline std::string report_body(Fixture& f) {
  std::string text = report_file(f);
  text = text.substr(text.find("\t*****\r\n") + 8);
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

struct App {
  int proc = 0;
  uint16_t code = 0, data = 0, stack = 0;
  uint32_t pd = 0;
};

// An application process: a code, a data and a stack segment, each the one
// descriptor of its memory chain, a command environment and registers of
// the kernel's width (cs, ds, ss of its segments unless `regs` names them).
inline App add_app(testkit::DumpBuilder& b, testkit::KernelBuilder& k, testkit::ProcSpec cfg,
                   testkit::Regs regs = {}, uint32_t stack_size = 0x2000,
                   const std::string& file = "C:/ADX_IPGM/MPOSTAPL.286") {
  App a;
  a.proc = b.add_process();
  a.code = b.add_segment(a.proc, 0x1000, true);
  a.data = b.add_segment(a.proc, 0x2000, false);
  a.stack = b.add_segment(a.proc, stack_size, false);
  testkit::ProcSpec base = k.for_process(a.proc);
  cfg.ldt = base.ldt;
  cfg.cr3 = base.cr3;
  if (!cfg.cmdenv && !file.empty()) cfg.cmdenv = k.cmdenv(file);
  if (!cfg.mem[0]) cfg.mem[0] = k.md_chain({{0x1000, uint32_t{a.code} << 16, 0}});
  if (!cfg.mem[1]) cfg.mem[1] = k.md_chain({{0x2000, uint32_t{a.data} << 16, 0}});
  if (!cfg.mem[3]) cfg.mem[3] = k.md_chain({{stack_size, uint32_t{a.stack} << 16, 0}});
  if (!regs.cs && !regs.ds && !regs.ss) {
    regs.cs = a.code;
    regs.ds = a.data;
    regs.es = a.data;
    regs.ss = a.stack;
  }
  if (!cfg.regsav) cfg.regsav = b.marra() ? k.regsav286(regs) : k.regsav386(regs);
  a.pd = k.add_pd(cfg);
  return a;
}

// The selected process's LDT, loaded the way the report flow loads it.
inline void load_selected_ldt(Fixture& f) {
  if (f.s.space.page)
    morvik::page_get_LDT(f.s, f.s.space.LDT_addr);
  else
    morvik::get_LDT(f.s, f.s.space.LDT_offset);
}

}  // namespace morvik_test
