// Writes the demo dump, its BSX file, the application's SYM file and the
// RS-485 driver's BSX file into a folder, and the application's linked module
// MPOSTAPL.286 with its SYM file MPOSTAPL.SYM:
//   vt_make_demo FOLDER [terminal|controller|marra|el-terminal|el-controller]
//                [PROCESSES [SIZE_MIB [APPL_MIB]]] [NAME=COUNT ...]
// APPL_MIB (paged dumps): the application's pages lie from that many MiB on
// (0: next in line). The NAME=COUNT settings size the dump's content:
// consoles, pipes, heap_blocks, heap_segments, files.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>

#include "testkit/demo.h"
#include "testkit/demo_module.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: vt_make_demo FOLDER [variant [processes [size_mib [appl_mib]]]] [consoles=N] [pipes=N] "
                 "[heap_blocks=N] [heap_segments=N] [files=N] [sym_in_code=0|1]\n");
    return 2;
  }
  testkit::DemoSpec cfg;
  cfg.sym_in_code = 1;  // the demo's module carries its SYM file, as a processed one does
  std::map<std::string, int*> counts = {{"consoles", &cfg.consoles},
                                        {"pipes", &cfg.pipes},
                                        {"files", &cfg.files},
                                        {"heap_blocks", &cfg.heap_blocks},
                                        {"heap_segments", &cfg.heap_segments},
                                        {"sym_in_code", &cfg.sym_in_code}};
  int positional = 0;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      auto it = counts.find(arg.substr(0, eq));
      if (it == counts.end()) {
        std::fprintf(stderr, "vt_make_demo: unknown setting %s\n", arg.c_str());
        return 2;
      }
      *it->second = std::atoi(arg.c_str() + eq + 1);
      continue;
    }
    switch (positional++) {
      case 0:
        if (arg == "terminal")
          cfg.variant = testkit::DumpVariant::PagedTerminal;
        else if (arg == "controller")
          cfg.variant = testkit::DumpVariant::PagedController;
        else if (arg == "marra")
          cfg.variant = testkit::DumpVariant::MarraTerminal;
        else if (arg == "el-terminal")
          cfg.variant = testkit::DumpVariant::ELTerminal;
        else if (arg == "el-controller")
          cfg.variant = testkit::DumpVariant::ELController;
        else {
          std::fprintf(stderr, "vt_make_demo: unknown variant %s\n", arg.c_str());
          return 2;
        }
        break;
      case 1: cfg.processes = std::atoi(arg.c_str()); break;
      case 2: cfg.size = std::strtoull(arg.c_str(), nullptr, 10) << 20; break;
      case 3: cfg.appl_frames = static_cast<uint32_t>(std::strtoul(arg.c_str(), nullptr, 10) << 20); break;
      default: std::fprintf(stderr, "vt_make_demo: too many arguments\n"); return 2;
    }
  }
  try {
    testkit::DemoFiles f = testkit::write_demo(argv[1], cfg);
    testkit::DemoModuleFiles m = testkit::write_demo_module(argv[1]);
    std::printf("%s\n%s\n%s\n%s\n%s\n%s\n", f.dump.c_str(), f.bsx.c_str(), f.sym.c_str(), f.serial_bsx.c_str(),
                m.module.c_str(), m.sym.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vt_make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
