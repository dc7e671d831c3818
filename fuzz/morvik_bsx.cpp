// MORVIK with a damaged BSX file: the first byte picks the variant, the rest
// are patch records applied to its BSX file. The dump stays valid.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/bases.h"
#include "fuzz/harness.h"
#include "morvik/morvik.h"

namespace {

struct Bases {
  std::vector<fuzz::PagedImage> bsx;
  Bases() {
    fuzz::WorkDir& dir = fuzz::WorkDir::get();
    for (int n = 0; n < fuzz::kVariants; ++n) {
      testkit::DumpBuilder b = fuzz::dump_base(fuzz::variant(n));
      bsx.push_back(fuzz::PagedImage::from(b.bsx()));
      std::string dump = "d" + std::to_string(n) + ".dat";
      b.write(dir.file(dump));
      dir.keep(dump);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Bases bases;
  if (size == 0) return 0;
  const int n = data[0] % fuzz::kVariants;
  fuzz::PagedImage bsx = bases.bsx[static_cast<size_t>(n)];
  fuzz::apply_patches(bsx, data + 1, size - 1);
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  bsx.write(dir.file("k.bsx"));
  fuzz::run(morvik_main, fuzz::morvik_args(fuzz::variant(n), "d" + std::to_string(n) + ".dat", "k.bsx"));
  dir.sweep();
  return 0;
}
