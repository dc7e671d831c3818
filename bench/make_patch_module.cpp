// Writes a large .286 module for the patcher benchmark: code-like filler,
// the level marker near the start and the patch sites near the end.
//   make_patch_module FILE MIB
#include <cstdio>
#include <cstdlib>
#include <string>

#include "testkit/patchmodule.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_patch_module FILE MIB\n");
    return 2;
  }
  const long size = std::atol(argv[2]) << 20;
  testkit::PatchModuleLayout layout;
  layout.size = static_cast<size_t>(size);
  layout.ldt_paragraphs = 64;
  testkit::PatchModule m(layout);
  // Deterministic pseudo-random bytes: every byte value turns up, so the
  // scans meet near-misses all the way through.
  testkit::Bytes filler(static_cast<size_t>(size - m.code_start()));
  unsigned long x = 12345;
  for (auto& b : filler) {
    x = x * 6364136223846793005UL + 1442695040888963407UL;
    b = static_cast<unsigned char>(x >> 56);
  }
  m.put(m.code_start(), filler);
  m.level(m.code_start() + 4096, 80);
  m.trap_site('T', size - 8192);
  m.trace_size('T', size - 4096, 100);
  m.write(argv[1]);
  return 0;
}
