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

bool symbol_file(MorvikPart part) { return part == MorvikPart::Sym || part == MorvikPart::Cdv; }

// The dump and BSX bases, or for the symbol files the demo dump of each
// variant.
int bases(MorvikPart part) { return symbol_file(part) ? kVariants : kMorvikBases; }

// The valid inputs: the part the fuzzer mutates is kept as an image, the
// others are written once and kept in the working folder.
struct Pairs {
  std::vector<PagedImage> images;
  explicit Pairs(MorvikPart part) {
    WorkDir& dir = WorkDir::get();
    testkit::write_file(dir.file(kSerialBsx), serial_bsx());
    dir.keep(kSerialBsx);
    testkit::write_text(dir.file(kDemoSym), demo_sym());
    dir.keep(kDemoSym);
    for (int n = 0; n < bases(part); ++n) {
      if (symbol_file(part)) {
        testkit::DemoDump d;
        testkit::DumpBuilder b = demo_base(variant(n), d);
        images.push_back(PagedImage::from(part == MorvikPart::Sym ? demo_sym_file() : demo_cdv_file(d)));
        b.write(dir.file(dump_name(n)));
        b.write_bsx(dir.file(bsx_name(n)));
        dir.keep(dump_name(n));
        dir.keep(bsx_name(n));
        continue;
      }
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

const char* mutated_name(MorvikPart part) {
  switch (part) {
    case MorvikPart::Dump: return "d.dat";
    case MorvikPart::Bsx: return "k.bsx";
    case MorvikPart::Sym: return "s.sym";
    default: return "s.cdv";
  }
}

}  // namespace

void morvik_input(MorvikPart part, const uint8_t* data, size_t size) {
  static const Pairs pairs(part);
  if (size == 0) return;
  const int n = data[0] % bases(part);
  PagedImage image = pairs.images[static_cast<size_t>(n)];
  apply_patches(image, data + 1, size - 1);
  WorkDir& dir = WorkDir::get();
  const std::string mutated = mutated_name(part);
  image.write(dir.file(mutated));
  // The demo bases run with the demo's SYM file and the heap trace.
  const bool demo = !symbol_file(part) && n >= kVariants;
  run(morvik_main, morvik_args(variant(n), part == MorvikPart::Dump ? mutated : dump_name(n),
                               part == MorvikPart::Bsx ? mutated : bsx_name(n),
                               symbol_file(part) ? mutated : demo ? kDemoSym : "0", demo));
  dir.sweep();
}

}  // namespace fuzz
