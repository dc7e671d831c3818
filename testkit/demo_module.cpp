#include "testkit/demo_module.h"

#include <algorithm>
#include <filesystem>

#include "testkit/demo.h"

namespace testkit {

namespace {

void put(Bytes& at, size_t offset, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), at.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

LinkModule demo_module() {
  using L = DemoModuleLayout;
  LinkGroup code = link_group(1, L::kCodeParas);
  std::fill(code.data.begin(), code.data.end(), 0x90);
  // The runtime's start: its code signature (a far call into paragraph 15
  // of the code), then DS from the data group and SS from the stack group.
  put(code.data, 0, kTerminalBasicCode);
  put(code.data, 11, {0xB8, 0x00, 0x00, 0x8E, 0xD8});  // mov ax, DATA; mov ds, ax
  put(code.data, 16, {0xB8, 0x00, 0x00, 0x8E, 0xD0});  // mov ax, STACK; mov ss, ax
  put(code.data, L::kLevel, Bytes{'C', 'B', 'R', 'T', '0', '8', '0'});
  put(code.data, L::kTrapSite, {0x7E, 0x02, 0x33, 0xC0, 0xC1, 0xE0, 0x04, 0x8B, 0xD8, 0xB8, 0x40, 0x40, 0x89});
  // Five error slots ("yy": none chosen) and the session byte.
  for (size_t slot = 0; slot < 5; ++slot) put(code.data, L::kTrapSite + 42 + slot * 6, {'y', 'y'});
  code.data[L::kTrapSite + 88] = 0;

  LinkGroup data = link_group(2, L::kDataParas);
  put(data.data, 0x20, Bytes{'M', 'P', 'O', 'S', 'T', 'A', 'P', 'L'});
  put(data.data, 0x2A, {0x00, 0x00});  // the code segment of a far pointer
  put(data.data, L::kRtData, {0x00, 0x50, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50});
  put(data.data, L::kRtData + 12, {0x64, 0x00});  // trace size: 100 entries
  put(data.data, L::kRtData + 168, {0xC3, 0x00, 0x00});  // missing-RESUME check off

  LinkModule m;
  m.groups = {code, data, link_group(4, L::kStackParas)};
  m.fixups = {link_fixup(1, 1, 0, 9), link_fixup(1, 2, 0, 12), link_fixup(1, 4, 1, 1), link_fixup(2, 1, 2, 10)};
  return m;
}

std::string demo_module_sym() { return demo_sym(); }

DemoModuleFiles write_demo_module(const std::string& folder) {
  std::filesystem::create_directories(folder);
  DemoModuleFiles f;
  f.module = (std::filesystem::path(folder) / "MPOSTAPL.286").string();
  f.sym = (std::filesystem::path(folder) / "MPOSTAPL.SYM").string();
  write_file(f.module, demo_module().build());
  write_text(f.sym, demo_module_sym());
  return f;
}

}  // namespace testkit
