#include "fuzz/bases.h"

#include "testkit/cdvfile.h"
#include "testkit/demo.h"
#include "testkit/devicebuilder.h"
#include "testkit/kernelbuilder.h"
#include "testkit/linkmodule.h"
#include "testkit/patchmodule.h"
#include "testkit/symfile.h"

namespace fuzz {

using testkit::DumpBuilder;
using testkit::DumpVariant;

DumpVariant variant(int n) {
  static constexpr DumpVariant all[kVariants] = {DumpVariant::MarraTerminal, DumpVariant::PagedTerminal,
                                                 DumpVariant::PagedController, DumpVariant::ELTerminal,
                                                 DumpVariant::ELController};
  return all[((n % kVariants) + kVariants) % kVariants];
}

DumpBuilder dump_base(DumpVariant v) {
  DumpBuilder b(v);
  b.add_kernel_symbol("rlr", Bytes(4));
  b.add_kernel_symbol("cdp", Bytes(4));
  uint32_t area = b.alloc_system(256);
  b.put_system32(area, 0x12345678);
  for (int i = 0; i < 2; ++i) {
    int p = b.add_process(24);
    uint16_t code = b.add_segment(p, 0x400, true);
    uint16_t data = b.add_segment(p, 0x800, false);
    b.put(p, uint32_t{code} << 16, {0x55, 0x8B, 0xEC, 0xCB});
    b.put(p, uint32_t{data} << 16 | 0x10, {'C', 'B', 'R', 'T', '0', '8', '0'});
  }
  testkit::DeviceBuilder dev(b);
  testkit::VconSpec child;
  child.screen.columns = 8;
  child.screen.rows = 2;
  child.screen.lines = {"CHILD"};
  testkit::VconSpec root = child;
  root.screen.lines = {"ROOT"};
  root.children = {child, child};
  dev.add_console("con", {root, child});
  testkit::PipeSpec pipe;
  pipe.name = "PIPE1";
  pipe.bufsiz = 24;
  pipe.data = {'D', 'A', 'T', 'A'};
  pipe.cnt = 4;
  testkit::PipeSpec sem;
  sem.name = "SEM1";
  sem.semaphore = true;
  dev.add_pipes({pipe, sem});
  testkit::SerialSpec serial;
  testkit::SerialUnit unit;
  unit.channel = {1, 0, 0x11};
  unit.received = {'O', 'K'};
  serial.units = {unit};
  serial.trace = {{1, 2, 1, 0x4000, {1, 2, 3, 4}}, {1, 2, 2, 9, {5, 6, 7, 8}}, {1, 2, 6, 1, {}}};
  serial.index = 1;
  dev.add_serial(serial);
  return b;
}

DumpBuilder morvik_base(int n) {
  if (n < kVariants) return dump_base(variant(n));
  testkit::DemoDump d;
  return demo_base(variant(n), d);
}

Bytes serial_bsx() { return testkit::DeviceBuilder::serial_bsx(); }

std::string demo_sym() { return testkit::demo_sym(); }

std::vector<std::string> morvik_args(DumpVariant v, const std::string& dump, const std::string& bsx,
                                     const std::string& sym, bool heap_trace) {
  bool terminal = v != DumpVariant::PagedController && v != DumpVariant::ELController;
  std::vector<std::string> args = {
      "morvik", dump, bsx, sym, terminal ? "mpostapl" : "pvncsmll", "25", "512", "OUT.TXT", kSerialBsx};
  if (heap_trace) args.push_back("/dh");
  return args;
}

DumpBuilder demo_base(DumpVariant v, testkit::DemoDump& d) {
  testkit::DemoSpec cfg;
  cfg.variant = v;
  cfg.processes = 6;
  DumpBuilder b(v);
  testkit::KernelBuilder k(b);
  d = testkit::build_demo(b, k, cfg);
  return b;
}

Bytes demo_sym_file() {
  // The demo's names, then more of each kind: a second code segment, the
  // shared runtime's block, a second data base, odd and equal offsets.
  testkit::SymFile f;
  f.labels().code(0x0040).label(0x0000, "SECOND.SEG").label(0x0000, "SAME.PLACE").label(0x0011, "ODD.LABEL");
  f.shared_runtime(0x0020, {{0x0024, "cb_vect"}}, 0x0030);
  f.variables().data(0x0100).variable(0x0003, "ODD.VAR").variable(0x0004, "SAME%").variable(0x0004, "SAME$");
  f.crt(0x0008);
  std::string text = testkit::demo_sym() + f.text();
  return Bytes(text.begin(), text.end());
}

Bytes demo_cdv_file(const testkit::DemoDump& d) {
  testkit::CdvFile f;
  f.module(1, d.code, 0x0000, 0x2000, "SALES.BAS");
  f.module(2, d.code, 0x2000, 0x2000, "PRINT.BAS");
  f.symbols(1, {testkit::cdv_procedure(0x00F0, 0x201, 0x100, "PROCESS.SALE"),
                testkit::cdv_static(uint32_t{d.data} << 16 | 0x0010, 0x84, "TOTAL.AMOUNT"),
                testkit::cdv_local(-4, 0x84, "ITEM"), testkit::cdv_static(uint32_t{d.data} << 16 | 0x0020, 0x84, "@TEMP"),
                testkit::cdv_record(2, {1, 2, 3, 4, 5, 6, 7, 8})});
  f.symbols(2, {testkit::cdv_procedure(0x2010, 1, 0x80, "PRINT.RECEIPT")});
  f.publics(1, {{uint32_t{d.data} << 16 | 0x0010, 0, "TOTAL.AMOUNT"},
                {uint32_t{d.code} << 16 | 0x00F0, 1, "PROCESS.SALE"},
                {uint32_t{d.code} << 16, 1, "SALES.BAS"},
                {uint32_t{d.data} << 16 | 0x0200, 2, "_usedlist"}});
  f.lines(1, "SALES.BAS", {{100, 0x00F0}, {101, 0x0120}, {102, 0x0180}});
  f.lines(2, "PRINT.BAS", {{10, 0x2010}});
  return f.bytes();
}

Bytes link_module(int n) {
  testkit::LinkModule m;
  testkit::LinkGroup code = testkit::link_group(1, 4);
  testkit::poke16(code.data, 2, 0x0000);
  testkit::poke16(code.data, 6, 0x0002);
  testkit::poke16(code.data, 20, 0x0000);
  testkit::LinkGroup data = testkit::link_group(2, 3);
  testkit::poke16(data.data, 4, 0x0001);
  m.groups = {code, data, testkit::link_group(4, 2)};
  m.fixups = {testkit::link_fixup(1, 2, 0, 2), testkit::link_fixup(1, 1, 0, 6), testkit::link_fixup(1, 2, 1, 4),
              testkit::link_fixup(2, 1, 0, 4)};
  m.zero_prefix = n == 1;
  if (n == 2) {
    testkit::LinkSrtl a{"CBRTLIB", 0x01, {testkit::link_fixup(1, 0, 2, 0)}};
    testkit::LinkSrtl b{"OMKCAPIT", 0x00, {testkit::link_fixup(2, 0, 2, 0), testkit::link_fixup(1, 0, 3, 8)}};
    m.srtls = {a, b};
  }
  return m.build();
}

std::string link_sym() { return "0001 CODE\n0002 DATA\n0000:0010 START\n"; }

Bytes patch_module(char env) {
  testkit::PatchModuleLayout layout;
  layout.ldt_paragraphs = 2;
  testkit::PatchModule m(layout);
  if (env == 'T') {
    m.level(200, 80);
    m.trap_site('T', 1000);
    m.missing_resume('T', 2000, {0xC3, 0x00, 0x00});
    m.trace_size('T', 3000, 100);
  } else {
    m.level(300, 636);
    m.trap_site('C', 1500);
    m.missing_resume('C', 3000, {0xC3, 0x00, 0x01});
    m.trace_size('C', 2500, 400);
  }
  return m.bytes();
}

}  // namespace fuzz
