// Writes a demo terminal dump with symbol files of a given size into a
// folder, for the symbol benchmark:
//   vt_gen_symbols FOLDER SYMBOLS BSX_RECORDS [STACK_BYTES]
// FOLDER/omkcsltf.dat   the demo dump
// FOLDER/omkrt8gl.bsx   its kernel symbols behind BSX_RECORDS other records
// FOLDER/appl.sym       SYMBOLS symbols: half code labels under one CODE entry
//                       per 200 labels, half variables under one DATA entry
//                       per 200 variables, the demo's own names at the end
// FOLDER/appl.cdv       as many symbols: procedures and statics with
//                       publics and line numbers, in modules of 200 procedures
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testkit/cdvfile.h"
#include "testkit/demo.h"
#include "testkit/symfile.h"

namespace {

constexpr unsigned kPerEntry = 200;

std::string name(const char* prefix, unsigned i) {
  char b[32];
  std::snprintf(b, sizeof b, "%s%06u", prefix, i);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: vt_gen_symbols FOLDER SYMBOLS BSX_RECORDS [STACK_BYTES]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const unsigned symbols = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  const unsigned records = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
  std::filesystem::create_directories(dir);

  testkit::DemoSpec cfg;
  if (argc > 4) cfg.stack_size = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 0));
  testkit::DumpBuilder b(cfg.variant);
  testkit::KernelBuilder k(b);
  testkit::DemoDump d = testkit::build_demo(b, k, cfg);
  b.write((dir / "omkcsltf.dat").string());

  // The kernel's records come last: a scan of the file meets them at its end.
  testkit::Bytes kernel = b.bsx();
  testkit::Bytes bsx(kernel.begin(), kernel.begin() + 122);
  for (unsigned i = 0; i < records; ++i) {
    unsigned char rec[22] = {};
    rec[0] = static_cast<unsigned char>(i);
    rec[4] = static_cast<unsigned char>(i >> 8);
    std::string n = name("ksym", i);
    std::copy(n.begin(), n.end(), rec + 9);
    bsx.insert(bsx.end(), rec, rec + 22);
  }
  bsx.insert(bsx.end(), kernel.begin() + 122, kernel.end());
  testkit::write_file((dir / "omkrt8gl.bsx").string(), bsx);

  // Names in descending order, so the readers' sorting has work to do.
  const unsigned half = symbols / 2;
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
  testkit::write_text((dir / "appl.sym").string(), sym.text() + testkit::demo_sym());

  testkit::CdvFile cdv;
  const unsigned modules = (half + kPerEntry - 1) / kPerEntry;
  for (unsigned m = 0; m < modules; ++m)
    cdv.module(static_cast<uint16_t>(m + 1), d.code, 0, 0x4000, name("M", m) + ".BAS");
  for (unsigned m = 0; m < modules; ++m) {
    std::vector<testkit::Bytes> recs;
    std::vector<testkit::CdvPublic> pubs;
    std::vector<std::pair<uint16_t, uint16_t>> lines;
    for (unsigned j = 0; j < kPerEntry && m * kPerEntry + j < half; ++j) {
      unsigned i = m * kPerEntry + j;
      uint16_t at = static_cast<uint16_t>(j * 0x40);
      recs.push_back(testkit::cdv_procedure(at, 0x201, 0x40, name("P", half - i)));
      recs.push_back(testkit::cdv_static(uint32_t{d.data} << 16 | (i & 0x7FFF), 0x84, name("S", half - i)));
      pubs.push_back({uint32_t{d.code} << 16 | at, 1, name("P", half - i)});
      lines.push_back({static_cast<uint16_t>(j + 1), at});
    }
    cdv.symbols(static_cast<uint16_t>(m + 1), recs);
    cdv.publics(static_cast<uint16_t>(m + 1), pubs);
    cdv.lines(static_cast<uint16_t>(m + 1), name("M", m) + ".BAS", lines);
  }
  testkit::write_file((dir / "appl.cdv").string(), cdv.bytes());
  return 0;
}
