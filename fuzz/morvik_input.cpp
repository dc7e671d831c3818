#include "fuzz/morvik_input.h"

#include <string>
#include <vector>

#include "fuzz/bases.h"
#include "fuzz/harness.h"
#include "morvik/driver/morvik.h"

namespace fuzz {
namespace {

std::string dump_name(int n) { return "d" + std::to_string(n) + ".dat"; }
std::string bsx_name(int n) { return "k" + std::to_string(n) + ".bsx"; }

// The valid pairs: the part the fuzzer mutates is kept as an image, the
// other is written once and kept in the working folder.
struct Pairs {
  std::vector<PagedImage> images;
  explicit Pairs(MorvikPart part) {
    WorkDir& dir = WorkDir::get();
    testkit::write_file(dir.file(kSerialBsx), serial_bsx());
    dir.keep(kSerialBsx);
    testkit::write_text(dir.file(kDemoSym), demo_sym());
    dir.keep(kDemoSym);
    for (int n = 0; n < kMorvikBases; ++n) {
      testkit::DumpBuilder b = morvik_base(n);
      if (part == MorvikPart::Dump) {
        images.push_back(PagedImage::from(b.image()));
        b.write_bsx(dir.file(bsx_name(n)));
        dir.keep(bsx_name(n));
      } else {
        images.push_back(PagedImage::from(b.bsx()));
        b.write(dir.file(dump_name(n)));
        dir.keep(dump_name(n));
      }
    }
  }
};

}  // namespace

void morvik_input(MorvikPart part, const uint8_t* data, size_t size) {
  static const Pairs pairs(part);
  if (size == 0) return;
  const int n = data[0] % kMorvikBases;
  PagedImage image = pairs.images[static_cast<size_t>(n)];
  apply_patches(image, data + 1, size - 1);
  WorkDir& dir = WorkDir::get();
  const std::string mutated = part == MorvikPart::Dump ? "d.dat" : "k.bsx";
  image.write(dir.file(mutated));
  run(morvik_main, morvik_args(n, part == MorvikPart::Dump ? mutated : dump_name(n),
                               part == MorvikPart::Bsx ? mutated : bsx_name(n)));
  dir.sweep();
}

}  // namespace fuzz
