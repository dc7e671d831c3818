// MORVIK on a damaged dump: the first byte picks the variant, the rest are
// patch records applied to a testkit dump of it. The BSX file stays valid.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/bases.h"
#include "fuzz/harness.h"
#include "morvik/morvik.h"

namespace {

struct Bases {
  std::vector<fuzz::PagedImage> dumps;
  Bases() {
    fuzz::WorkDir& dir = fuzz::WorkDir::get();
    for (int n = 0; n < fuzz::kVariants; ++n) {
      testkit::DumpBuilder b = fuzz::dump_base(fuzz::variant(n));
      dumps.push_back(fuzz::PagedImage::from(b.image()));
      std::string bsx = "k" + std::to_string(n) + ".bsx";
      b.write_bsx(dir.file(bsx));
      dir.keep(bsx);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Bases bases;
  if (size == 0) return 0;
  const int n = data[0] % fuzz::kVariants;
  fuzz::PagedImage dump = bases.dumps[static_cast<size_t>(n)];
  fuzz::apply_patches(dump, data + 1, size - 1);
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  dump.write(dir.file("d.dat"));
  fuzz::run(morvik_main, fuzz::morvik_args(fuzz::variant(n), "d.dat", "k" + std::to_string(n) + ".bsx"));
  dir.sweep();
  return 0;
}
