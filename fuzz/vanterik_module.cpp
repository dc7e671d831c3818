// VANTERIK on a damaged valid module with its SYM file beside it. The first
// byte picks the module (linked ones, or the first linked one vanteriked)
// and the switches; the rest are patch records applied to the module.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/bases.h"
#include "fuzz/harness.h"
#include "testkit/tempdir.h"
#include "vanterik/vanterik.h"

namespace {

struct Bases {
  std::vector<fuzz::PagedImage> modules;
  Bases() {
    for (int n = 0; n < fuzz::kLinkModules; ++n) modules.push_back(fuzz::PagedImage::from(fuzz::link_module(n)));
    // A vanteriked module, for the LDT listing.
    fuzz::WorkDir& dir = fuzz::WorkDir::get();
    testkit::write_file(dir.file("V.286"), fuzz::link_module(0));
    testkit::write_text(dir.file("V.SYM"), fuzz::link_sym());
    fuzz::run(vanterik_main, {"vanterik", "V.286"});
    modules.push_back(fuzz::PagedImage::from(testkit::read_file(dir.file("V.286"))));
    dir.sweep();
  }
};

const std::vector<std::vector<std::string>> kSwitches = {{}, {"-n"}, {"-m"}, {"-n", "-c"}, {"-x", "-i20"}, {"-d"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Bases bases;
  if (size == 0) return 0;
  fuzz::PagedImage module = bases.modules[data[0] % bases.modules.size()];
  fuzz::apply_patches(module, data + 1, size - 1);
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  module.write(dir.file("A.286"));
  testkit::write_text(dir.file("A.SYM"), fuzz::link_sym());
  std::vector<std::string> args = {"vanterik"};
  const auto& sw = kSwitches[(data[0] >> 2) % kSwitches.size()];
  args.insert(args.end(), sw.begin(), sw.end());
  args.push_back("A.286");
  fuzz::run(vanterik_main, args);
  dir.sweep();
  return 0;
}
