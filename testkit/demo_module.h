// A linked BASIC terminal application to try VANTERIK, KIVRA and OSTREL on:
// MPOSTAPL.286 as the linker writes it (code, data and stack groups with
// their fixups), holding the terminal runtime's code start, its level
// marker "CBRT080", its error-trap site and its data with the trace size
// (100 entries) and the missing-RESUME flag (off), and MPOSTAPL.SYM.
#pragma once
#include <string>

#include "testkit/linkmodule.h"

namespace testkit {

// Group offsets of what the module holds (the code group is first in the
// file, behind the 128-byte header).
struct DemoModuleLayout {
  static constexpr size_t kCodeParas = 64, kDataParas = 32, kStackParas = 16;
  static constexpr size_t kLevel = 0xA0;      // code: "CBRT080"
  static constexpr size_t kTrapSite = 0x100;  // code: the error-trap signature
  static constexpr size_t kRtData = 0x40;     // data: the runtime's data signature
};

LinkModule demo_module();
// The application's SYM file (the demo dump's application symbols).
std::string demo_module_sym();

struct DemoModuleFiles {
  std::string module, sym;
};
// Writes MPOSTAPL.286 and MPOSTAPL.SYM into `folder`.
DemoModuleFiles write_demo_module(const std::string& folder);

}  // namespace testkit
