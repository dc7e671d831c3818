// Writes the benchmark module: seven groups (five code groups, data and
// stack) of about 1 MiB in all, with 100,000 fixups in the code groups that
// need 1,500 selectors (1,493 distinct targets and the seven paragraph-0
// selectors); and a SYM file of 4 KiB to merge.
#include <cstdio>

#include "testkit/linkmodule.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vt_gen286 module.286 module.SYM\n");
    return 2;
  }
  const unsigned code_buckets[] = {1, 3, 5, 6, 7};
  const unsigned target_buckets[] = {1, 2, 3, 5, 6, 7};
  const unsigned distinct = 1493, fixups = 100000, code_paras = 11500;

  testkit::LinkModule m;
  const uint8_t types[] = {1, 2, 3, 4, 5, 6, 7};
  for (uint8_t type : types) {
    uint16_t paras = type == 2 ? 7000 : type == 4 ? 256 : code_paras;
    auto g = testkit::link_group(type, paras);
    for (size_t i = 0; i < g.data.size(); ++i) g.data[i] = static_cast<unsigned char>(i * 13 + type);
    m.groups.push_back(g);
  }
  for (unsigned k = 0; k < fixups; ++k) {
    unsigned sel = static_cast<unsigned>((k * 7919ull) % distinct);
    unsigned target = target_buckets[sel % 6];
    auto para = static_cast<uint16_t>(1 + sel / 6 * 7);
    unsigned g = k % 5;
    unsigned word = k / 5;  // distinct words of one group, spread over it
    size_t at = (word * 37u) % (code_paras * 8u) * 2;
    // Descriptor n holds bucket n + 1.
    testkit::poke16(m.groups[code_buckets[g] - 1].data, at, para);
    m.fixups.push_back(testkit::link_fixup(code_buckets[g], target, static_cast<uint16_t>(at / 16),
                                           static_cast<uint8_t>(at % 16)));
  }
  testkit::write_file(argv[1], m.build());
  testkit::Bytes sym(4096);
  for (size_t i = 0; i < sym.size(); ++i) sym[i] = static_cast<unsigned char>(i);
  testkit::write_file(argv[2], sym);
  return 0;
}
