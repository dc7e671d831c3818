// The cost of the call trace: the demo terminal dump with a 5,200-entry
// trace (time stamps and two traced integers) and the 200,000-symbol SYM
// file of the symbols benchmark. Times, best of several runs in this
// process, the whole MORVIK run (whose flow, without the runtime level
// search, does not reach the trace) and the trace section on the same
// files, and prints their ratio.
//   vt_bench_trace FOLDER [RUNS [SYMBOLS]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/driver/morvik.h"
#include "morvik/sections/formattr.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/sortsym.h"
#include "testkit/demo.h"
#include "testkit/demo_trace.h"
#include "testkit/symfile.h"

namespace {

constexpr unsigned kPerEntry = 200;
constexpr int kEntries = 5200;

std::string name(const char* prefix, unsigned i) {
  char b[32];
  std::snprintf(b, sizeof b, "%s%06u", prefix, i);
  return b;
}

double best_ms(int runs, const std::function<void()>& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vt_bench_trace FOLDER [RUNS]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const unsigned kSymbols = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 200000;
  std::filesystem::create_directories(dir);
  auto at = [&](const char* f) { return (dir / f).string(); };

  testkit::DemoSpec cfg;
  testkit::DumpBuilder b(cfg.variant);
  testkit::KernelBuilder k(b);
  testkit::DemoDump d = testkit::build_demo(b, k, cfg);
  testkit::add_large_demo_trace(b, d.appl_proc, d.code, d.data, kEntries);
  b.write(at("omkcsltf.dat"));
  b.write_bsx(at("omkrt8gl.bsx"));
  // As the symbols benchmark: names in descending order, the demo's own at the end.
  const unsigned half = kSymbols / 2;
  testkit::SymFile sym;
  sym.labels();
  for (unsigned i = 0; i < half; ++i) {
    if (i % kPerEntry == 0) sym.code(0x0400 + i / kPerEntry * 0x100);
    sym.label(i % kPerEntry * 8, name("L", half - i));
  }
  sym.variables();
  for (unsigned i = 0; i < half; ++i) {
    if (i % kPerEntry == 0) sym.data(i / kPerEntry * 0x80);
    sym.variable(i % kPerEntry * 4, name("V", half - i));
  }
  testkit::write_text(at("appl.sym"), sym.text() + testkit::demo_sym());

  // The whole run, its report on the (captured) screen.
  const std::string dump = at("omkcsltf.dat"), bsx = at("omkrt8gl.bsx"), symf = at("appl.sym");
  int64_t report_bytes = 0;
  int status = 0;
  std::string failed;
  double run_ms = best_ms(runs, [&] {
    std::vector<std::string> args = {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "appl.sym", "mpostapl", "25", "512", "SCREEN"};
    std::vector<char*> argv2;
    for (auto& a : args) argv2.push_back(a.data());
    std::istringstream in;
    std::ostringstream out, err;
    vt::Console con{in, out, err};
    std::filesystem::current_path(dir);
    status = morvik_main(static_cast<int>(argv2.size()), argv2.data(), con);
    if (out.str().find("MORVIK is ending normally.") == std::string::npos) failed = err.str() + out.str();
    report_bytes = static_cast<int64_t>(out.str().size());
  });
  if (!failed.empty() || status != 0) {
    std::fprintf(stderr, "MORVIK did not finish (status %d):\n%s\n", status, failed.c_str());
    return 1;
  }

  // The trace section on a session loaded as the flow leaves it.
  std::istringstream in;
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  morvik::Session s{con};
  s.dumpfile.open(dump);
  s.bsxfile.open(bsx);
  s.symfile.open(symf);
  s.outfile.open_file(at("trace.txt"));
  morvik::allocate_buffers(s);
  morvik::detect_dump_kind(s);
  morvik::getGDT(s);
  s.space.CR3 = b.cr3(d.appl_proc);
  morvik::page_get_LDT(s, b.ldt_addr(d.appl_proc));
  s.DS_selector = d.data;
  s.BASIC = 1;
  s.space.termappl = 1;
  s.cbrt = 60;
  morvik::makelist(s);
  morvik::sort_code_segments(s);
  morvik::makeDataList(s);
  const int64_t before = s.outfile.tell();
  double trace_ms = best_ms(runs, [&] { morvik::formatTrace(s); });
  const int64_t per_trace = (s.outfile.tell() - before) / runs;
  double ct_ms = best_ms(runs, [&] { morvik::report_ct_trace(s); });
  s.outfile.close();

  std::printf("%d trace entries, %u symbols; best of %d runs\n", kEntries, kSymbols, runs);
  std::printf("whole run (no trace):       %8.1f ms  (%lld bytes of report)\n", run_ms,
              static_cast<long long>(report_bytes));
  std::printf("call trace section:         %8.1f ms  (%lld bytes of report)  trace/run %.3f\n", trace_ms,
              static_cast<long long>(per_trace), trace_ms / run_ms);
  std::printf("call count report:          %8.1f ms\n", ct_ms);
  return 0;
}
