// Writes the demo dump, its BSX file, the application's SYM file and the
// RS-485 driver's BSX file into a folder, and the application's linked module
// MPOSTAPL.286 with its SYM file MPOSTAPL.SYM:
//   vt_make_demo FOLDER [terminal|controller|marra|el-terminal|el-controller]
//                [PROCESSES [SIZE_MIB [APPL_MIB [CONSOLES [PIPES]]]]]
// APPL_MIB (paged dumps): the application's pages lie from that many MiB on
// (0: next in line).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "testkit/demo.h"
#include "testkit/demo_module.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vt_make_demo FOLDER [variant [processes [size_mib [appl_mib [consoles [pipes]]]]]]\n");
    return 2;
  }
  testkit::DemoSpec cfg;
  std::string kind = argc > 2 ? argv[2] : "terminal";
  if (kind == "terminal")
    cfg.variant = testkit::DumpVariant::PagedTerminal;
  else if (kind == "controller")
    cfg.variant = testkit::DumpVariant::PagedController;
  else if (kind == "marra")
    cfg.variant = testkit::DumpVariant::MarraTerminal;
  else if (kind == "el-terminal")
    cfg.variant = testkit::DumpVariant::ELTerminal;
  else if (kind == "el-controller")
    cfg.variant = testkit::DumpVariant::ELController;
  else {
    std::fprintf(stderr, "vt_make_demo: unknown variant %s\n", kind.c_str());
    return 2;
  }
  if (argc > 3) cfg.processes = std::atoi(argv[3]);
  if (argc > 4) cfg.size = std::strtoull(argv[4], nullptr, 10) << 20;
  if (argc > 5) cfg.appl_frames = static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10) << 20);
  if (argc > 6) cfg.consoles = std::atoi(argv[6]);
  if (argc > 7) cfg.pipes = std::atoi(argv[7]);
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
